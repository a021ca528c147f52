#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/curl/FtpConnection.h"

// A pull reader over one FTP download: libcurl pushes data into a fixed buffer through its write
// callback, which pauses the transfer when the buffer is full; Read hands the data out in the
// caller's small pieces and lets the transfer go on when there is room again. Memory stays at
// the buffer's size whatever the file's size. Never throws.
class FtpDownload {
public:
    explicit FtpDownload(FtpConnection& connection);
    ~FtpDownload();
    FtpDownload(const FtpDownload&) = delete;
    FtpDownload& operator=(const FtpDownload&) = delete;

    // Starts the transfer of `path` and waits until the server has agreed to send it (or has
    // already sent data, or the transfer has ended). False when the server refused the file.
    bool Open(const std::string& path);
    std::size_t Read(char* buffer, std::size_t size);
    // Lets the transfer move for at most `limit`; true once a Read of `size` bytes returns at
    // once: the bytes are there or the transfer has ended (libcurl ends a stalled one itself).
    bool WaitReadable(std::size_t size, std::chrono::milliseconds limit);

private:
    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    std::size_t Accept(const char* data, std::size_t size);
    std::size_t Buffered() const { return end_ - begin_; }
    // Lets the transfer move until `size` bytes are buffered or it has ended, or the deadline
    // (none: no other end) has passed; true in the first two cases.
    bool Fill(std::size_t size, std::optional<std::chrono::steady_clock::time_point> deadline);
    void Step(FtpConnection::Wait wait);
    void StepFor(long pollMilliseconds);
    void AfterStep();  // detaches a transfer that has ended
    void ResumeIfRoom();

    FtpConnection& connection_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool attached_ = false;
    bool paused_ = false;
    bool serverAgreed_ = false;
    bool done_ = false;
    CURLcode result_ = CURLE_OK;
};
