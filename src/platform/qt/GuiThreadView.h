#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include "platform/window/WindowThreadView.h"

// A WindowThreadView over Qt's GUI thread. The GUI object must outlive every call made through
// the view from another thread.
class GuiThreadView final : public WindowThreadView {
public:
    // guiObject: any object of the GUI thread, normally the window itself.
    GuiThreadView(IView& inner, QObject& guiObject) : WindowThreadView(inner), gui_(guiObject) {}

    bool OnWindowThread() const override { return QThread::currentThread() == gui_.thread(); }

private:
    // The call is posted to the GUI thread and the hand-over in both directions goes through the
    // standard library's lock, not through Qt's blocking queued call: Qt waits on futexes that
    // the thread checker cannot see, and then every argument and result handed over looks
    // unsynchronised to it, which would hide a real race among the false ones. The GUI thread
    // takes the lock before it reads anything the caller wrote (the posted call object
    // included, hence a lock found without reading it), and the caller takes it before it
    // reads the result.
    //
    // The GUI thread must not read the posted call (it holds `run` and `finished`) before the
    // caller has released the lock after posting it. It finds out without reading it: the
    // calls it starts and the calls posted are counted in the shared hand-over, and the n-th
    // call started waits until n calls have been posted. Only one thread works off the GUI
    // thread at a time, so the n-th call posted is the n-th call started.
    void RunThere(const std::function<void()>& run) const override {
        bool finished = false;
        QMetaObject::invokeMethod(
            &gui_,
            [&] {
                HandOverState& shared = Shared();
                std::unique_lock lock(shared.mutex);
                const std::uint64_t mine = ++shared.started;
                shared.changed.wait(lock, [&shared, mine] { return shared.posted >= mine; });
                lock.unlock();
                run();
                lock.lock();
                finished = true;
                // Under the lock: once the caller sees `finished` it returns and ends it.
                shared.changed.notify_all();
            },
            Qt::QueuedConnection);
        HandOverState& shared = Shared();
        std::unique_lock lock(shared.mutex);
        ++shared.posted;
        shared.changed.notify_all();
        shared.changed.wait(lock, [&] { return finished; });
    }

    // One hand-over for every view: few calls cross threads, and a static one is found without
    // reading anything another thread wrote.
    struct HandOverState {
        std::mutex mutex;
        std::condition_variable changed;
        std::uint64_t posted = 0;
        std::uint64_t started = 0;
    };
    static HandOverState& Shared() {
        static HandOverState state;
        return state;
    }

    QObject& gui_;
};
