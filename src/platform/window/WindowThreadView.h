#pragma once

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
// How a call gets to the window's thread is the toolkit's (RunThere).
class WindowThreadView : public IView {
public:
    explicit WindowThreadView(IView& inner) : inner_(inner) {}
    WindowThreadView(const WindowThreadView&) = delete;
    WindowThreadView& operator=(const WindowThreadView&) = delete;

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
        if (OnWindowThread()) {
            inner_.RunOffUiThread(work);
        } else {
            work();
        }
    }

    virtual bool OnWindowThread() const = 0;

protected:
    // Runs job on the window's thread and waits until it has run. job never throws.
    virtual void RunThere(const std::function<void()>& job) const = 0;

private:
    // Runs f on the window's thread and hands back its result, or what it threw.
    template <typename F>
    std::invoke_result_t<F&> Call(F&& f) const {
        using Result = std::invoke_result_t<F&>;
        if (OnWindowThread()) return f();
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

    // An exception must not unwind through the toolkit's dispatch: it is carried back to the
    // calling thread instead.
    template <typename F>
    static void Guarded(F&& f, std::exception_ptr& failure) {
        try {
            f();
        } catch (...) {
            failure = std::current_exception();
        }
    }

    IView& inner_;
};
