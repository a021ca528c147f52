#pragma once

#include <windows.h>

#include <functional>

#include "platform/window/WindowThreadView.h"

// A WindowThreadView over a Win32 window's thread. The calls travel as messages sent to a
// message-only window of that thread: a sent message is served by every message loop of the
// thread (the view's own, a message box's, a window being dragged), and the sender waits for its
// result.
class UiThreadView final : public WindowThreadView {
public:
    // Made on the window's thread.
    explicit UiThreadView(IView& inner);
    ~UiThreadView() override;

    bool OnWindowThread() const override { return GetCurrentThreadId() == uiThread_; }

private:
    void RunThere(const std::function<void()>& job) const override;
    static LRESULT CALLBACK TargetProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    DWORD uiThread_;
    HWND target_;
};
