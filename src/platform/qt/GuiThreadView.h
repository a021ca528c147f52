#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <type_traits>

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include "platform/IView.h"

// Passes every view operation to a view that lives on the GUI thread. Called on that thread it
// is a plain call; called from the work of RunOffUiThread it waits while the GUI thread runs the
// operation, so the window's widgets are only ever touched by their own thread.
// EndProgram is not passed over: ending the process works from any thread.
// The GUI object must outlive every call made through the view from another thread.
class GuiThreadView : public IView {
public:
    // guiObject: any object of the GUI thread, normally the window itself.
    GuiThreadView(IView& inner, QObject& guiObject) : inner_(inner), gui_(guiObject) {}

    void SetText(Control c, const std::string& text) override {
        Call([&] { inner_.SetText(c, text); });
    }
    std::string Text(Control c) const override { return Call([&] { return inner_.Text(c); }); }
    void AppendText(Control c, const std::string& text) override {
        Call([&] { inner_.AppendText(c, text); });
    }
    void SetEnabled(Control c, bool enabled) override {
        Call([&] { inner_.SetEnabled(c, enabled); });
    }
    void SetVisible(Control c, bool visible) override {
        Call([&] { inner_.SetVisible(c, visible); });
    }
    void Move(Control c, TwipRect rect) override { Call([&] { inner_.Move(c, rect); }); }
    TwipRect Bounds(Control c) const override { return Call([&] { return inner_.Bounds(c); }); }
    void Refresh(Control c) override { Call([&] { inner_.Refresh(c); }); }
    void SetCaretToEnd(Control c) override { Call([&] { inner_.SetCaretToEnd(c); }); }
    void SetProgressMax(float max) override { Call([&] { inner_.SetProgressMax(max); }); }
    float ProgressMax() const override { return Call([&] { return inner_.ProgressMax(); }); }
    void SetProgressValue(float value) override { Call([&] { inner_.SetProgressValue(value); }); }
    float ProgressValue() const override { return Call([&] { return inner_.ProgressValue(); }); }
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override {
        return Call([&] { return inner_.ShowMessage(text, icon, buttons, title); });
    }
    void DoEvents() override { Call([&] { inner_.DoEvents(); }); }
    void SetCursor(Cursor cursor) override { Call([&] { inner_.SetCursor(cursor); }); }
    void CloseWindow() override { Call([&] { inner_.CloseWindow(); }); }
    [[noreturn]] void EndProgram(int exitCode) override {
        inner_.EndProgram(exitCode);
        std::abort();  // not reached: EndProgram never returns, but the compiler cannot see that
    }
    // Work that is already off the GUI thread simply runs.
    void RunOffUiThread(const std::function<void()>& work) override {
        if (OnGuiThread()) {
            inner_.RunOffUiThread(work);
        } else {
            work();
        }
    }

    bool OnGuiThread() const { return QThread::currentThread() == gui_.thread(); }

private:
    // Runs f on the GUI thread and hands back its result, or what it threw.
    //
    // The call is posted to the GUI thread and the hand-over in both directions goes through the
    // standard library's lock, not through Qt's blocking queued call: Qt waits on futexes that
    // the thread checker cannot see, and then every argument and result handed over looks
    // unsynchronised to it, which would hide a real race among the false ones. The GUI thread
    // takes the lock before it reads anything the caller wrote (the posted call object
    // included, hence a lock found without reading it), and the caller takes it before it
    // reads the result.
    template <typename F>
    std::invoke_result_t<F&> Call(F&& f) const {
        using Result = std::invoke_result_t<F&>;
        if (OnGuiThread()) return f();
        std::exception_ptr failure;
        if constexpr (std::is_void_v<Result>) {
            HandOver([&] { Guarded(f, failure); });
            if (failure) std::rethrow_exception(failure);
        } else {
            std::optional<Result> result;
            HandOver([&] { Guarded([&] { result.emplace(f()); }, failure); });
            if (failure) std::rethrow_exception(failure);
            return std::move(*result);
        }
    }

    // Runs run (which never throws) on the GUI thread and waits until it has run.
    //
    // The GUI thread must not read the posted call (it holds `run` and `finished`) before the
    // caller has released the lock after posting it. It finds out without reading it: the
    // calls it starts and the calls posted are counted in the shared hand-over, and the n-th
    // call started waits until n calls have been posted. Only one thread works off the GUI
    // thread at a time, so the n-th call posted is the n-th call started.
    template <typename Run>
    void HandOver(Run&& run) const {
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

    // An exception must not unwind through the GUI thread's event loop: it is carried back to
    // the calling thread instead.
    template <typename F>
    static void Guarded(F&& f, std::exception_ptr& failure) {
        try {
            f();
        } catch (...) {
            failure = std::current_exception();
        }
    }

    IView& inner_;
    QObject& gui_;
};
