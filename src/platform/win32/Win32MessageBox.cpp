#include "platform/win32/Win32MessageBox.h"

#include "common/Strings.h"
#include "common/Utf16.h"

namespace {

// MessageBoxW gives no way to name its buttons. A hook on this thread sees the box's dialog
// being activated, before it is first painted, renames the buttons and removes itself; the
// box's window procedure is wrapped so that Esc answers a question with "Ne". Thread-local, so
// boxes on other threads are neither seen nor touched.
thread_local HHOOK tHook = nullptr;
thread_local WNDPROC tBoxProcedure = nullptr;

LRESULT CALLBACK EscAnswersNo(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    // The dialog manager turns Esc into IDCANCEL; a question has no such button and Windows
    // would ignore the key.
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && GetDlgItem(box, IDNO)) {
        EndDialog(box, IDNO);
        return 0;
    }
    return CallWindowProcW(tBoxProcedure, box, message, wParam, lParam);
}

LRESULT CALLBACK RenameButtons(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = tHook;
    if (code == HCBT_ACTIVATE) {
        const auto box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDOK, L"U redu");
        SetDlgItemTextW(box, IDYES, L"Da");
        SetDlgItemTextW(box, IDNO, L"Ne");
        if (GetDlgItem(box, IDNO)) {
            tBoxProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EscAnswersNo)));
        }
        UnhookWindowsHookEx(hook);
        tHook = nullptr;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

std::string WindowsLineEnds(const std::string& text) {
    return ReplaceAll(ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\r", "\n"), "\n", "\r\n");
}

UINT MessageBoxStyle(MsgIcon icon, MsgButtons buttons) {
    UINT style = buttons == MsgButtons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
        case MsgIcon::Error: style |= MB_ICONERROR; break;
        case MsgIcon::Warning: style |= MB_ICONWARNING; break;
        case MsgIcon::Information: style |= MB_ICONINFORMATION; break;
        case MsgIcon::Question: style |= MB_ICONQUESTION; break;
        case MsgIcon::None: break;
    }
    return style;
}

MsgAnswer AnswerOf(int result, MsgButtons buttons) {
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    // IDNO, IDCANCEL (Esc where the box reports it so), or 0 when no box could be shown (no
    // desktop): nobody said yes.
    return result == IDYES ? MsgAnswer::Yes : MsgAnswer::No;
}

MsgAnswer ShowWin32MessageBox(HWND owner, const std::string& text, MsgIcon icon,
                              MsgButtons buttons, const std::string& title) {
    UINT style = MessageBoxStyle(icon, buttons);
    if (!owner) style |= MB_TASKMODAL;
    const std::wstring wideText = WideFromUtf8(WindowsLineEnds(text));
    const std::wstring wideTitle = WideFromUtf8(title);
    tHook = SetWindowsHookExW(WH_CBT, &RenameButtons, nullptr, GetCurrentThreadId());
    // Without the hook the box still asks its question, with the system's button captions.
    const int result = MessageBoxW(owner, wideText.c_str(), wideTitle.c_str(), style);
    if (tHook) {  // the box never came up
        UnhookWindowsHookEx(tHook);
        tHook = nullptr;
    }
    return AnswerOf(result, buttons);
}
