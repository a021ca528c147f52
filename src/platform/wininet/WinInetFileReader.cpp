#include "platform/wininet/WinInetFileReader.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wininet/WinInetError.h"

namespace {
constexpr std::size_t kPiece = 64 * 1024;        // one InternetReadFile call
constexpr std::size_t kCapacity = 4 * kPiece;    // the thread runs this far ahead of the caller
constexpr auto kJoinWait = std::chrono::seconds(2);  // how long the end of a reader waits for its thread
}  // namespace

struct WinInetFileReader::Pump {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> buffer = std::vector<char>(kCapacity);
    std::size_t begin = 0;  // first unread byte
    std::size_t count = 0;  // unread bytes, from begin, wrapping round
    bool ended = false;     // the thread will add nothing more
    bool stop = false;
    bool threadGone = false;
    // Whether the thread is inside InternetReadFile, and since when: a transfer has stalled when
    // one call has brought nothing for the stall limit, however the caller waited meanwhile.
    bool inCall = false;
    std::chrono::steady_clock::time_point callStarted;
    std::string error;

    bool Stalled(std::chrono::milliseconds limit) const {
        return inCall && std::chrono::steady_clock::now() - callStarted >= limit;
    }
    // When the running call counts as stalled; a call not yet started is given the whole limit.
    std::chrono::steady_clock::time_point StallDeadline(std::chrono::milliseconds limit) const {
        return (inCall ? callStarted : std::chrono::steady_clock::now()) + limit;
    }

    void Run(HINTERNET file) {
        std::vector<char> piece(kPiece);
        for (;;) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stop || kCapacity - count >= kPiece; });
                if (stop) break;
                inCall = true;
                callStarted = std::chrono::steady_clock::now();
            }
            DWORD got = 0;
            const BOOL ok = InternetReadFile(file, piece.data(), kPiece, &got);
            // The error text is the thread's own last error: take it here, on this thread.
            const std::string failure = ok ? std::string() : DescribeLastWinInetError();
            std::lock_guard lock(mutex);
            inCall = false;
            // After a stop (a close, or a stall the reader has already reported) late bytes
            // are not handed out: the caller has been told the transfer ended.
            if (stop) break;
            Append(piece.data(), got);
            if (!ok) error = "the transfer failed: " + failure;
            if (!ok || got == 0) break;
            changed.notify_all();
        }
        std::lock_guard lock(mutex);
        ended = true;
        threadGone = true;
        changed.notify_all();
    }

    // The caller has made room for `size` bytes.
    void Append(const char* data, std::size_t size) {
        const std::size_t end = (begin + count) % kCapacity;
        const std::size_t first = std::min(size, kCapacity - end);
        std::memcpy(buffer.data() + end, data, first);
        std::memcpy(buffer.data(), data + first, size - first);
        count += size;
    }

    std::size_t Take(char* out, std::size_t size) {
        const std::size_t n = std::min(size, count);
        const std::size_t first = std::min(n, kCapacity - begin);
        std::memcpy(out, buffer.data() + begin, first);
        std::memcpy(out + first, buffer.data(), n - first);
        begin = (begin + n) % kCapacity;
        count -= n;
        return n;
    }
};

WinInetFileReader::WinInetFileReader(void* file, std::chrono::milliseconds stallLimit)
    : pump_(std::make_shared<Pump>()), stallLimit_(stallLimit) {
    // The thread holds the shared state, so that a thread stuck in InternetReadFile after the
    // reader has gone touches nothing freed.
    std::thread([pump = pump_, file = static_cast<HINTERNET>(file)] { pump->Run(file); }).detach();
}

WinInetFileReader::~WinInetFileReader() {
    Stop();
    // A thread waiting for room has ended at once. One inside InternetReadFile ends when the
    // owner has closed the handle (Windows) or when the call returns by itself (Wine): the wait
    // is bounded, and a thread still stuck after it is left to finish on its own.
    std::unique_lock lock(pump_->mutex);
    pump_->changed.wait_for(lock, kJoinWait, [&] { return pump_->threadGone; });
}

std::size_t WinInetFileReader::Read(char* buffer, std::size_t size) {
    std::unique_lock lock(pump_->mutex);
    std::size_t total = 0;
    while (total < size) {
        const bool roomBefore = kCapacity - pump_->count >= kPiece;
        total += pump_->Take(buffer + total, size - total);
        // Room for the thread's next piece: it is woken only when that room has just appeared.
        // Waking it for every small read would cost a thread switch per 512 bytes, which it
        // answers by going back to sleep, as 512 bytes are not room for a piece.
        if (!roomBefore && kCapacity - pump_->count >= kPiece) pump_->changed.notify_all();
        if (total == size || (pump_->ended && pump_->count == 0)) break;
        const bool moved = pump_->changed.wait_until(lock, pump_->StallDeadline(stallLimit_), [&] {
            return pump_->count > 0 || pump_->ended;
        });
        if (!moved && !pump_->Stalled(stallLimit_)) continue;  // the next call has just begun
        if (!moved) {
            pump_->error = "no data arrived for " + std::to_string(stallLimit_.count()) + " ms";
            pump_->ended = true;
            pump_->stop = true;
            break;
        }
    }
    return total;
}

bool WinInetFileReader::WaitReadable(std::size_t size, std::chrono::milliseconds limit) {
    std::unique_lock lock(pump_->mutex);
    const auto ready = [&] { return pump_->count >= size || pump_->ended; };
    pump_->changed.wait_for(lock, limit, ready);
    return ready() || pump_->Stalled(stallLimit_);
}

std::string WinInetFileReader::Error() const {
    std::lock_guard lock(pump_->mutex);
    return pump_->error;
}

void WinInetFileReader::Stop() {
    std::lock_guard lock(pump_->mutex);
    pump_->stop = true;
    pump_->changed.notify_all();
}
