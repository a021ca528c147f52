#pragma once

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

#include "platform/IView.h"

// Passes every view operation to a view that lives on the window's thread. Called on that
// thread it is a plain call; called from the work of RunOffUiThread it waits while the window's
// thread runs the operation, so the window and its controls are only ever touched by their own
// thread. EndProgram is not passed over: ending the process works from any thread.
//
// The calls travel as messages sent to a message-only window of the window's thread: a sent
// message is served by every message loop of that thread (the view's own, a message box's,
// a window being dragged), and the sender waits for its result.
class UiThreadView : public IView {
public:
    // Made on the window's thread.
    explicit UiThreadView(IView& inner);
    ~UiThreadView() override;
    UiThreadView(const UiThreadView&) = delete;
    UiThreadView& operator=(const UiThreadView&) = delete;

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
    // Work that is already off the window's thread simply runs.
    void RunOffUiThread(const std::function<void()>& work) override {
        if (OnUiThread()) {
            inner_.RunOffUiThread(work);
        } else {
            work();
        }
    }

    bool OnUiThread() const { return GetCurrentThreadId() == uiThread_; }

private:
    // Runs f on the window's thread and hands back its result, or what it threw.
    template <typename F>
    std::invoke_result_t<F&> Call(F&& f) const {
        using Result = std::invoke_result_t<F&>;
        if (OnUiThread()) return f();
        std::exception_ptr failure;
        if constexpr (std::is_void_v<Result>) {
            RunThere([&] { Guarded(f, failure); });
            if (failure) std::rethrow_exception(failure);
        } else {
            std::optional<Result> result;
            RunThere([&] { Guarded([&] { result.emplace(f()); }, failure); });
            if (failure) std::rethrow_exception(failure);
            return std::move(*result);
        }
    }

    // Sends job to the window's thread and waits until it has run. job must not throw.
    void RunThere(const std::function<void()>& job) const;

    // An exception must not unwind through the system's message dispatch: it is carried back
    // to the calling thread instead.
    template <typename F>
    static void Guarded(F&& f, std::exception_ptr& failure) {
        try {
            f();
        } catch (...) {
            failure = std::current_exception();
        }
    }

    static LRESULT CALLBACK TargetProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    IView& inner_;
    DWORD uiThread_;
    HWND target_;
};
