#include "platform/win32/WindowDpi.h"

namespace {

constexpr UINT kDefaultDpi = 96;

// A function of user32 by name, or nullptr where this Windows has none.
template <typename Function>
Function User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const FARPROC address = user32 ? GetProcAddress(user32, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

}  // namespace

UINT WindowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpi = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpi && window) {
        if (const UINT dpi = getDpi(window)) return dpi;
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

SIZE OuterSizeForClient(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    RECT outer{0, 0, width, height};
    // Failing, it leaves the rectangle as it was: then the screen's frame is the best guess.
    if (!adjustForDpi || !adjustForDpi(&outer, style, FALSE, exStyle, dpi)) {
        outer = {0, 0, width, height};
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    }
    return {outer.right - outer.left, outer.bottom - outer.top};
}
