#include "platform/wininet/DeadlineCall.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

struct Meeting {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
};

}  // namespace

bool RunWithDeadline(std::function<void()> work, std::function<void()> release,
                     std::chrono::milliseconds limit) {
    auto meeting = std::make_shared<Meeting>();
    std::thread worker;
    try {
        worker = std::thread([meeting, work, release] {
            work();
            std::unique_lock lock(meeting->mutex);
            meeting->done = true;
            if (meeting->abandoned) {
                lock.unlock();
                release();
                return;
            }
            meeting->finished.notify_all();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the call runs here, bounded by WinINet's own time-outs only.
        work();
        return true;
    }
    worker.detach();  // a late call may never return (a server that keeps the line open but silent)

    std::unique_lock lock(meeting->mutex);
    if (meeting->finished.wait_for(lock, limit, [&] { return meeting->done; })) return true;
    meeting->abandoned = true;
    return false;
}
