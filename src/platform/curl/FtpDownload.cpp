#include "platform/curl/FtpDownload.h"

#include <algorithm>
#include <cstring>

#include "platform/curl/FtpConnection.h"

namespace {
// Four of libcurl's largest write chunks: the transfer runs on while the caller takes its
// small pieces, and is paused only when the caller falls that far behind.
constexpr std::size_t kCapacity = 4 * CURL_MAX_WRITE_SIZE;
}  // namespace

FtpDownload::FtpDownload(FtpConnection& connection)
    : connection_(connection), buffer_(kCapacity) {}

FtpDownload::~FtpDownload() {
    // Removing an unfinished transfer aborts it; libcurl closes the connection it cannot reuse.
    if (attached_) connection_.Detach();
}

std::size_t FtpDownload::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
    // Accept only copies into memory that is already there: nothing in it can throw.
    return static_cast<FtpDownload*>(self)->Accept(data, size * count);
}

std::size_t FtpDownload::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    // The server's answers on the control connection: 125 or 150 before the data means that
    // the server has opened the file.
    const std::size_t length = size * count;
    if (length >= 3 && (std::memcmp(data, "150", 3) == 0 || std::memcmp(data, "125", 3) == 0)) {
        static_cast<FtpDownload*>(self)->serverAgreed_ = true;
    }
    return length;
}

std::size_t FtpDownload::Accept(const char* data, std::size_t size) {
    if (size > kCapacity - Buffered()) {
        // libcurl keeps the chunk and offers it again after the pause is lifted.
        paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (end_ + size > kCapacity) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, Buffered());
        end_ -= begin_;
        begin_ = 0;
    }
    std::memcpy(buffer_.data() + end_, data, size);
    end_ += size;
    return size;
}

bool FtpDownload::Open(const std::string& path) {
    connection_.ResetOptions();
    CURL* easy = connection_.easy();
    curl_easy_setopt(easy, CURLOPT_URL, connection_.UrlFor(path).c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    connection_.Attach();
    attached_ = true;
    for (bool first = true; !serverAgreed_ && Buffered() == 0 && !done_; first = false) {
        Step(first ? FtpConnection::Wait::kNone : FtpConnection::Wait::kBrief);
    }
    if (done_ && result_ != CURLE_OK && !serverAgreed_ && Buffered() == 0) {
        connection_.NoteError(result_);
        return false;
    }
    return true;
}

bool FtpDownload::WaitReadable(std::size_t size, std::chrono::milliseconds limit) {
    return Fill(size, std::chrono::steady_clock::now() + limit);
}

bool FtpDownload::Fill(std::size_t size,
                       std::optional<std::chrono::steady_clock::time_point> deadline) {
    size = std::min(size, kCapacity);
    for (bool first = true; Buffered() < size && !done_; first = false) {
        ResumeIfRoom();
        if (Buffered() >= size) break;  // resuming may have delivered the held chunk at once
        // The first turn takes what has already come; the later ones wait for the sockets, but
        // never past the deadline.
        if (first) {
            Step(FtpConnection::Wait::kNone);
        } else if (!deadline) {
            Step(FtpConnection::Wait::kFull);
        } else {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            StepFor(static_cast<long>(left.count()));
        }
    }
    return Buffered() >= size || done_;
}

void FtpDownload::Step(FtpConnection::Wait wait) {
    connection_.Step(wait, done_, result_);
    AfterStep();
}

void FtpDownload::StepFor(long pollMilliseconds) {
    connection_.StepFor(pollMilliseconds, done_, result_);
    AfterStep();
}

void FtpDownload::AfterStep() {
    if (done_ && attached_) {
        connection_.Detach();
        attached_ = false;
        if (result_ != CURLE_OK) connection_.NoteError(result_);
    }
}

void FtpDownload::ResumeIfRoom() {
    // Resume only with room for a whole chunk, so that the transfer does not pause at once.
    if (!paused_ || kCapacity - Buffered() < CURL_MAX_WRITE_SIZE) return;
    paused_ = false;
    curl_easy_pause(connection_.easy(), CURLPAUSE_CONT);
}

std::size_t FtpDownload::Read(char* buffer, std::size_t size) {
    size = std::min(size, kCapacity);
    Fill(size, std::nullopt);
    const std::size_t n = std::min(size, Buffered());
    std::memcpy(buffer, buffer_.data() + begin_, n);
    begin_ += n;
    if (begin_ == end_) begin_ = end_ = 0;
    return n;
}
