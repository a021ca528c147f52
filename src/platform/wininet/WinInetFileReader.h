#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

// Reads one open WinINet file on a thread of its own, into a fixed buffer, in large pieces, and
// hands the bytes out in the caller's small ones. Two reasons:
// - a transfer that stops moving must end in a failure within the time-out even where
//   InternetReadFile waits for ever (Wine's FTP data connection has no time-out), so the caller
//   never blocks on InternetReadFile itself;
// - each InternetReadFile call has a fixed cost (large under Wine), so the thread asks for 64 KiB
//   at a time rather than the caller's 512 bytes.
// Memory stays at the buffer's size whatever the file's size: the thread waits while it is full.
// Does not own the file handle: the owner calls Stop, closes the handle, then destroys the reader
// (which waits a little for the thread). The thread checks for Stop just before each call, so
// after Stop it starts no new call on the closed handle.
class WinInetFileReader {
public:
    WinInetFileReader(void* file, std::chrono::milliseconds stallLimit);
    ~WinInetFileReader();
    WinInetFileReader(const WinInetFileReader&) = delete;
    WinInetFileReader& operator=(const WinInetFileReader&) = delete;

    // Blocks until `size` bytes are there, the file has ended, the transfer failed, or the
    // thread's call has brought nothing for the stall limit; returns how many bytes it put in
    // `buffer`.
    std::size_t Read(char* buffer, std::size_t size);
    // Waits at most `limit` for a Read of `size` bytes to return at once: true when the bytes
    // are there, the file has ended or failed, or the running call has stalled.
    bool WaitReadable(std::size_t size, std::chrono::milliseconds limit);
    // Why the transfer ended early; empty while it has not, or after a clean end.
    std::string Error() const;

    // Asks the thread to start no further call. The handle may be closed after this.
    void Stop();

    struct Pump;  // the state the thread shares with the reader (defined in the .cpp file)

private:
    std::shared_ptr<Pump> pump_;
    std::chrono::milliseconds stallLimit_;
};
