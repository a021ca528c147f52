#include "platform/win32/UiThreadView.h"

#include "common/AppError.h"

namespace {

constexpr const wchar_t* kTargetClass = L"VelmoraUiThreadCall";
constexpr UINT kRunJob = WM_APP + 1;

}  // namespace

UiThreadView::UiThreadView(IView& inner) : WindowThreadView(inner), uiThread_(GetCurrentThreadId()) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TargetProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kTargetClass;
    // Registered again for every view: the second registration fails harmlessly.
    RegisterClassExW(&windowClass);
    target_ = CreateWindowExW(0, kTargetClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              instance, nullptr);
    if (!target_) {
        throw AppError(static_cast<int>(GetLastError()), "UiThreadView",
                       "cannot create the window that carries calls to the window's thread");
    }
}

UiThreadView::~UiThreadView() { DestroyWindow(target_); }

void UiThreadView::RunThere(const std::function<void()>& job) const {
    SendMessageW(target_, kRunJob, 0, reinterpret_cast<LPARAM>(&job));
}

LRESULT CALLBACK UiThreadView::TargetProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == kRunJob) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
