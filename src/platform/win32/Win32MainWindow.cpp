#include "platform/win32/Win32MainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "common/AppError.h"
#include "platform/window/FrmGlavnaLayout.h"
#include "platform/window/TwipScale.h"
#include "platform/win32/DesignFonts.h"
#include "platform/win32/LogBoxAppend.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/WindowDpi.h"
#include "common/Utf16.h"

namespace {

constexpr const wchar_t* kWindowClass = L"VelmoraFrmGlavna";
// A fixed single border with a title and a close box: no sizing, no minimise or maximise. Not
// WS_CLIPCHILDREN: the window paints the inside of the frames, which paint only their border.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
constexpr UINT_PTR kApplyTimer = 1;
// The system's cursors and icon by number: the IDC_ and IDI_ names are narrow or wide strings
// depending on UNICODE, which this file does not rely on.
constexpr WORD kArrowCursor = 32512;        // IDC_ARROW
constexpr WORD kWaitCursor = 32514;         // IDC_WAIT
constexpr WORD kAppStartingCursor = 32650;  // IDC_APPSTARTING
constexpr WORD kApplicationIcon = 32512;    // IDI_APPLICATION
// WM_DPICHANGED (Windows 8.1 and later), by number: older headers do not name it.
constexpr UINT kDpiChanged = 0x02E0;

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(kArrowCursor));
    windowClass.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(kApplicationIcon));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    // Registered again for every window: the second registration fails harmlessly.
    RegisterClassExW(&windowClass);
}

DWORD LabelAlignment(TextAlign align) {
    switch (align) {
        case TextAlign::Center: return SS_CENTER;
        case TextAlign::Right: return SS_RIGHT;
        case TextAlign::Left: break;
    }
    return SS_LEFT;
}

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

// Every control clips its siblings, so the stacking order alone decides what shows where
// controls overlap.
ControlClass ClassOf(const ControlDesign& design) {
    constexpr DWORD kChild = WS_CHILD | WS_CLIPSIBLINGS;
    switch (design.kind) {
        case ControlKind::Label:
            // Texts come from files and servers: an "&" in them is a character, not a mnemonic.
            return {L"STATIC", kChild | SS_NOPREFIX | LabelAlignment(design.align), 0};
        case ControlKind::Frame: return {L"BUTTON", kChild | BS_GROUPBOX, 0};
        case ControlKind::ProgressBar: return {PROGRESS_CLASSW, kChild, 0};
        case ControlKind::TextBox: {
            DWORD style = kChild | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
            // The online phase's log can outgrow its box; the warning never does.
            if (design.id == Control::TxtRez) style |= WS_VSCROLL;
            return {L"EDIT", style, WS_EX_CLIENTEDGE};
        }
        case ControlKind::Button: return {L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
    }
    return {L"STATIC", kChild, 0};
}

// Frames lie lowest, labels above them, the other controls on top.
int Layer(ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame: return 0;
        case ControlKind::Label: return 1;
        default: return 2;
    }
}

bool IsTextBox(Control c) {
    const auto design = std::ranges::find(FrmGlavnaDesign(), c, &ControlDesign::id);
    return design != FrmGlavnaDesign().end() && design->kind == ControlKind::TextBox;
}

bool IsUserInput(UINT message) {
    if (message >= WM_KEYFIRST && message <= WM_KEYLAST) return true;
    // Moving the mouse changes nothing; buttons and the wheel would.
    return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && message != WM_MOUSEMOVE;
}

const wchar_t* CursorResource(Cursor cursor) {
    switch (cursor) {
        case Cursor::Wait: return MAKEINTRESOURCEW(kWaitCursor);
        case Cursor::AppStarting: return MAKEINTRESOURCEW(kAppStartingCursor);
        case Cursor::Default: break;
    }
    return MAKEINTRESOURCEW(kArrowCursor);
}

}  // namespace

Win32MainWindow::Win32MainWindow(std::string windowTitle, std::string appTitle)
    : appTitle_(std::move(appTitle)) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(instance, &WindowProcedure);
    window_ = CreateWindowExW(kWindowExStyle, kWindowClass, WideFromUtf8(windowTitle).c_str(),
                              kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                              instance, this);
    if (!window_) {
        throw AppError(static_cast<int>(GetLastError()), "FrmGlavna",
                       "cannot create the main window");
    }
    dotsPerInch_ = WindowDpi(window_);
    fonts_ = std::make_unique<DesignFonts>(dotsPerInch_);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->Get(ControlFont::Default)),
                 FALSE);
    handles_[Index(Control::FrmGlavna)] = window_;
    bounds_[Control::FrmGlavna] = {0, 0, kClientWidthTwips, kClientHeightTwips};
    throttle_.Preset(Control::FrmGlavna, std::move(windowTitle));
    Place(Control::FrmGlavna);
    CreateControls();
}

Win32MainWindow::~Win32MainWindow() {
    if (window_) DestroyWindow(window_);
}

void Win32MainWindow::CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const ControlDesign& design : FrmGlavnaDesign()) {
        const ControlClass cls = ClassOf(design);
        const DWORD visible = design.visibleAtStart ? WS_VISIBLE : 0;
        const int id = design.id == Control::CmdAkcija0   ? kFirstButtonId
                       : design.id == Control::CmdAkcija1 ? kFirstButtonId + 1
                                                          : 0;
        const HWND handle = CreateWindowExW(
            cls.exStyle, cls.name, L"", cls.style | visible, 0, 0, 0, 0, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        if (!handle) {
            throw AppError(static_cast<int>(GetLastError()), "FrmGlavna",
                           std::string("cannot create the control ") + design.name);
        }
        handles_[Index(design.id)] = handle;
        containers_[Index(design.id)] = design.container;
        bounds_[design.id] = design.rect;
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->Get(design.font)),
                     FALSE);
        if (design.kind == ControlKind::ProgressBar) {
            SendMessageW(handle, PBM_SETRANGE32, 0, kBarSteps);
        } else if (design.kind == ControlKind::TextBox) {
            SendMessageW(handle, EM_SETLIMITTEXT, 0, 0);  // the log is not cut at 32 KiB
            UseSpaceWordBreaks(handle);  // long additions lay out in linear time (LogBoxAppend)
        }
        Place(design.id);
        throttle_.Preset(design.id, design.caption);
        ShowText(design.id, design.caption);
    }
    StackControls();
}

// Each control in turn goes to the top: the last one placed lies highest.
void Win32MainWindow::StackControls() {
    const auto design = FrmGlavnaDesign();
    std::vector<const ControlDesign*> order;
    for (const ControlDesign& control : design) order.push_back(&control);
    std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
        return Layer(a->kind) < Layer(b->kind);
    });
    for (const ControlDesign* control : order) {
        SetWindowPos(Handle(control->id), HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void Win32MainWindow::Place(Control c) {
    const PixelRect px = TwipsToPixels(bounds_.at(c), dotsPerInch_);
    if (c == Control::FrmGlavna) {
        // The client area follows the design's scale, the frame the scale the system gives the
        // window's caption and borders: after a move to a monitor of another scale both are
        // that monitor's.
        const SIZE outer = OuterSizeForClient(px.width, px.height, kWindowStyle, kWindowExStyle,
                                              WindowDpi(window_));
        SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    int x = px.x;
    int y = px.y;
    const Control container = containers_[Index(c)];
    if (container != Control::FrmGlavna) {
        const PixelRect origin = TwipsToPixels(bounds_.at(container), dotsPerInch_);
        x += origin.x;
        y += origin.y;
    }
    SetWindowPos(Handle(c), nullptr, x, y, px.width, px.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The controls of a frame move with it.
    for (const ControlDesign& design : FrmGlavnaDesign()) {
        if (design.container == c && Handle(design.id)) Place(design.id);
    }
}

void Win32MainWindow::Rescale(double dotsPerInch, const RECT& suggested) {
    dotsPerInch_ = dotsPerInch;
    auto fonts = std::make_unique<DesignFonts>(dotsPerInch);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->Get(ControlFont::Default)),
                 FALSE);
    for (const ControlDesign& design : FrmGlavnaDesign()) {
        SendMessageW(Handle(design.id), WM_SETFONT,
                     reinterpret_cast<WPARAM>(fonts->Get(design.font)), TRUE);
    }
    fonts_ = std::move(fonts);  // the old fonts go once no control uses them
    Place(Control::FrmGlavna);
    for (const ControlDesign& design : FrmGlavnaDesign()) Place(design.id);
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::ShowCentred() {
    ApplyPending();
    RECT outer{};
    GetWindowRect(window_, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    // "&Dobro" has the focus, so Enter starts the run as a click would.
    if (IsWindowEnabled(Handle(Control::CmdAkcija0))) {
        SetFocus(Handle(Control::CmdAkcija0));
    }
}

int Win32MainWindow::RunUntilClosed() {
    MSG message{};
    while (window_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) {
            throw AppError(static_cast<int>(GetLastError()), "FrmGlavna",
                           "the message loop failed");
        }
        Serve(message);
    }
    return 0;
}

bool Win32MainWindow::IsInputToWindow(const MSG& message) const {
    if (!IsUserInput(message.message) || !window_) return false;
    return message.hwnd == window_ || IsChild(window_, message.hwnd);
}

void Win32MainWindow::Serve(MSG& message) {
    if (throttle_.WorkOffThread() && IsInputToWindow(message)) return;  // thrown away, not queued
    // A key acts on what the window shows: a caption still kept for the timer ("&Kraj" in place
    // of "&Odustani") would leave its mnemonic unknown to the dialog manager.
    if (IsInputToWindow(message) && throttle_.AnyTextPending()) {
        ApplyPending();
    }
    // The dialog manager gives the window its keyboard: Alt+D, Alt+O and Alt+K click the button
    // whose caption marks the letter, Tab moves between the buttons.
    if (!window_ || !IsDialogMessageW(window_, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    RaiseHandlerFailure();
}

void Win32MainWindow::RaiseHandlerFailure() {
    // Work off the window's thread raises it once the work has ended.
    if (handlerFailure_ && !throttle_.WorkOffThread()) {
        std::rethrow_exception(std::exchange(handlerFailure_, {}));
    }
}

LRESULT CALLBACK Win32MainWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->handles_.fill(nullptr);
        self->lastFocus_ = nullptr;
        self->throttle_.ForgetTimer();
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // A handler's exception must not unwind through the system's dispatch: it is held and
    // raised by the loop that took the message (Serve).
    try {
        return self->HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        if (!self->handlerFailure_) self->handlerFailure_ = std::current_exception();
        return 0;
    }
}

LRESULT Win32MainWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int index = LOWORD(wParam) - kFirstButtonId;
            if (HIWORD(wParam) == BN_CLICKED && (index == 0 || index == 1)) {
                if (onClick_) onClick_(index);
                return 0;
            }
            break;
        }
        case WM_CLOSE:
            OnClose();
            return 0;
        case kDpiChanged:
            // Moved to a monitor of another scale (the manifest declares per-monitor awareness):
            // the window keeps its proportions there, at the place Windows suggests.
            Rescale(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_ACTIVATE:
            // As a dialog does: the control that had the keyboard gets it back when the window
            // is active again (after a message box), so Enter still clicks that button.
            if (LOWORD(wParam) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) lastFocus_ = focus;
            } else if (lastFocus_ && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_TIMER:
            if (wParam == kApplyTimer) {
                ApplyPending();
                return 0;
            }
            break;
        case WM_SETCURSOR:
            if (cursor_ != Cursor::Default) {
                ::SetCursor(LoadCursorW(nullptr, CursorResource(cursor_)));
                return TRUE;
            }
            break;
        case WM_CTLCOLORSTATIC:
            // Read-only boxes take the button face colour, which the warning wants; the log
            // stays a white page.
            if (reinterpret_cast<HWND>(lParam) == Handle(Control::TxtRez)) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Win32MainWindow::OnClose() {
    const bool byProgram = closingByProgram_;
    const bool allowed = onCloseRequest_ ? onCloseRequest_(byProgram) : byProgram;
    if (allowed) DestroyWindow(window_);
}

void Win32MainWindow::SetText(Control c, const std::string& text) { throttle_.SetText(c, text); }

std::string Win32MainWindow::Text(Control c) const { return throttle_.Text(c); }

void Win32MainWindow::AppendText(Control c, const std::string& text) {
    throttle_.AppendText(c, text);
}

void Win32MainWindow::SetEnabled(Control c, bool enabled) { EnableWindow(Handle(c), enabled); }

void Win32MainWindow::SetVisible(Control c, bool visible) {
    ShowWindow(Handle(c), visible ? SW_SHOWNA : SW_HIDE);
}

void Win32MainWindow::Move(Control c, TwipRect rect) {
    bounds_[c] = rect;
    if (!window_) return;
    Place(c);
    if (c == Control::FrmGlavna) {
        SetWindowPos(window_, nullptr, TwipsToPixels(rect.left, dotsPerInch_),
                     TwipsToPixels(rect.top, dotsPerInch_), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

TwipRect Win32MainWindow::Bounds(Control c) const { return bounds_.at(c); }

void Win32MainWindow::Refresh(Control c) {
    if (!throttle_.Refresh(c)) return;  // the kept changes are painted by the timer
    if (const HWND handle = Handle(c)) {
        RedrawWindow(handle, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

void Win32MainWindow::SetCaretToEnd(Control c) { throttle_.SetCaretToEnd(c); }

void Win32MainWindow::ShowCaretAtEnd(Control c) {
    const HWND box = Handle(c);
    if (!box) return;
    const int length = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

void Win32MainWindow::SetProgressMax(float max) { throttle_.SetProgressMax(max); }

void Win32MainWindow::SetProgressValue(float value) { throttle_.SetProgressValue(value); }

bool Win32MainWindow::YieldedLately() const {
    return std::chrono::steady_clock::now() - lastDoEvents_ < RepaintThrottle::kApplyInterval;
}

bool Win32MainWindow::StartTimer(std::chrono::milliseconds wait) {
    return SetTimer(window_, kApplyTimer, static_cast<UINT>(wait.count()), nullptr) != 0;
}

void Win32MainWindow::StopTimer() { KillTimer(window_, kApplyTimer); }

void Win32MainWindow::ShowText(Control c, const std::string& text) {
    // Labels and boxes break lines at CR LF only; button captions keep "&" as their mnemonic.
    const std::wstring wide = WideFromUtf8(c == Control::FrmGlavna ? text : WindowsLineEnds(text));
    if (IsTextBox(c)) {
        SetLogBoxText(Handle(c), wide);  // a long text would be laid out in quadratic time
        return;
    }
    SetWindowTextW(Handle(c), wide.c_str());
}

void Win32MainWindow::ShowAppended(Control c, const std::string& tail) {
    const HWND box = Handle(c);
    if (!box) return;
    // The selection the user had is given back, as where the caret goes is SetCaretToEnd's.
    AppendToLogBox(box, WideFromUtf8(WindowsLineEnds(tail)));
}

void Win32MainWindow::ShowProgress(int barStep) {
    SendMessageW(Handle(Control::PrgBar), PBM_SETPOS, static_cast<WPARAM>(barStep), 0);
}

MsgAnswer Win32MainWindow::ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::optional<std::string>& title) {
    ApplyPending();
    return ShowWin32MessageBox(window_, text, icon, buttons, title.value_or(appTitle_));
}

void Win32MainWindow::DoEvents() {
    lastDoEvents_ = std::chrono::steady_clock::now();
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the loop that ends the program.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Serve(message);
    }
}

void Win32MainWindow::SetCursor(Cursor cursor) {
    cursor_ = cursor;
    // Shown at once where the pointer is over the window; elsewhere at its next move.
    POINT at{};
    if (!window_ || !GetCursorPos(&at)) return;
    const HWND under = WindowFromPoint(at);
    if (under == window_ || IsChild(window_, under)) {
        ::SetCursor(LoadCursorW(nullptr, CursorResource(cursor)));
    }
}

void Win32MainWindow::CloseWindow() {
    ApplyPending();
    if (!window_) return;
    closingByProgram_ = true;
    SendMessageW(window_, WM_CLOSE, 0, 0);
    closingByProgram_ = false;
}

void Win32MainWindow::EndProgram(int exitCode) {
    // At once: no close handlers, no destructors, no exit handlers.
    std::_Exit(exitCode);
}

void Win32MainWindow::RunOffUiThread(const std::function<void()>& work) {
    ApplyPending();
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!done) {
        throw AppError(static_cast<int>(GetLastError()), "FrmGlavna",
                       "cannot make the event that ends the work");
    }
    throttle_.SetWorkOffThread(true);
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            // Carried back and raised again on this thread once the work has ended.
            failure = std::current_exception();
        }
        SetEvent(done);
    });
    // Serve the window (paints, the timer, the calls the work sends over) until the work ends;
    // input to the window meanwhile is thrown away by Serve.
    std::optional<int> quitCode;
    const auto serveQueue = [&] {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quitCode = static_cast<int>(message.wParam);
            } else {
                Serve(message);
            }
        }
    };
    while (MsgWaitForMultipleObjectsEx(1, &done, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
           WAIT_OBJECT_0) {
        serveQueue();
    }
    // Input that arrived during the work and is still queued is thrown away too; otherwise the
    // next yield would run a click the user made while the window refused them.
    serveQueue();
    worker.join();
    CloseHandle(done);
    throttle_.SetWorkOffThread(false);
    if (quitCode) PostQuitMessage(*quitCode);  // for the loop that ends the program
    ApplyPending();
    if (failure) std::rethrow_exception(failure);
    RaiseHandlerFailure();
}
