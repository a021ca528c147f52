#pragma once

#include <cstdlib>
#include <exception>
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
    template <typename F>
    std::invoke_result_t<F&> Call(F&& f) const {
        using Result = std::invoke_result_t<F&>;
        if (OnGuiThread()) return f();
        std::exception_ptr failure;
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(
                &gui_, [&] { Guarded(f, failure); }, Qt::BlockingQueuedConnection);
            if (failure) std::rethrow_exception(failure);
        } else {
            std::optional<Result> result;
            QMetaObject::invokeMethod(
                &gui_, [&] { Guarded([&] { result.emplace(f()); }, failure); },
                Qt::BlockingQueuedConnection);
            if (failure) std::rethrow_exception(failure);
            return std::move(*result);
        }
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
