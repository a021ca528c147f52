// The Win32 window in-process at the screen's 96 dpi: the design as built, the keyboard, close
// requests, message boxes with their Croatian buttons, the kept-and-applied texts of a download,
// and work off the window's thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/AppError.h"
#include "platform/window/FrmGlavnaLayout.h"
#include "platform/window/TwipScale.h"
#include "platform/win32/DesignFonts.h"
#include "platform/win32/Win32MainWindow.h"
#include "platform/win32/UiThreadView.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/WindowDpi.h"
#include "common/Utf16.h"

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr const char* kTitle = "Velmora - Podizanje više verzije - v3.0";
constexpr const char* kWarning =
    "\r\nP O Z O R !!\r\n\r\nPrije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.";

std::string WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
    return Utf8FromWide(text);
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

LONG_PTR Style(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }

// A control's rectangle in its parent's client area, in pixels.
PixelRect PlaceOf(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// True when a lies above b among their siblings.
bool LiesAbove(HWND a, HWND b) {
    for (HWND w = GetWindow(a, GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == a) return true;
        if (w == b) return false;
    }
    return false;
}

// Counts the messages of chosen kinds that reach a window, by wrapping its window procedure.
class MessageCounter {
public:
    explicit MessageCounter(HWND window) : window_(window) {
        Registry()[window] = this;
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure)));
    }
    ~MessageCounter() {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        Registry().erase(window_);
    }
    int Count(UINT message) const {
        const auto it = counts_.find(message);
        return it == counts_.end() ? 0 : it->second;
    }

private:
    static std::map<HWND, MessageCounter*>& Registry() {
        static std::map<HWND, MessageCounter*> registry;
        return registry;
    }
    static LRESULT CALLBACK Procedure(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        MessageCounter* self = Registry().at(w);
        ++self->counts_[message];
        return CallWindowProcW(self->previous_, w, message, wParam, lParam);
    }

    HWND window_;
    WNDPROC previous_ = nullptr;
    std::map<UINT, int> counts_;
};

// What a message box showed, read from another thread while the box waited for its answer.
struct BoxSeen {
    bool found = false;
    std::string title;
    std::string text;
    std::map<int, std::string> buttons;  // by command identifier
    bool ownerEnabled = true;
};

// Finds the next message box of the given thread (bounded wait), reads it, then answers it with
// `answer` (a function of the box's window).
class BoxAnswerer {
public:
    BoxAnswerer(DWORD boxThread, HWND owner, std::function<void(HWND)> answer)
        : worker_([this, boxThread, owner, answer] {
              const HWND box = WaitForBox(boxThread);
              if (!box) return;
              seen_.found = true;
              seen_.title = WindowText(box);
              for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                  if (ClassName(c) == L"Static") seen_.text += WindowText(c);
              }
              for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
                  if (HWND button = GetDlgItem(box, id)) seen_.buttons[id] = WindowText(button);
              }
              seen_.ownerEnabled = owner && IsWindowEnabled(owner);
              answer(box);
          }) {}
    // Waits for the answer to have been given.
    const BoxSeen& Seen() {
        if (worker_.joinable()) worker_.join();
        return seen_;
    }
    ~BoxAnswerer() {
        if (worker_.joinable()) worker_.join();
    }

private:
    static HWND WaitForBox(DWORD thread) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            HWND found = nullptr;
            EnumThreadWindows(
                thread,
                [](HWND w, LPARAM out) -> BOOL {
                    if (ClassName(w) != L"#32770" || !IsWindowVisible(w)) return TRUE;
                    *reinterpret_cast<HWND*>(out) = w;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&found));
            if (found) return found;
            Sleep(10);
        }
        return nullptr;
    }

    BoxSeen seen_;
    std::thread worker_;
};

// Presses a box's button as a click does.
std::function<void(HWND)> Press(int id) {
    return [id](HWND box) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    };
}

// Presses Esc on the box's focused button, as the keyboard does.
void PressEscape(HWND box) {
    HWND focus = GetDlgItem(box, IDYES) ? GetDlgItem(box, IDYES) : box;
    PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(focus, WM_KEYUP, VK_ESCAPE, 1 | (3u << 30));
}

// Posts a left click in the middle of a control, as the system delivers one.
void PostClick(HWND control) {
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
}

// Posts Alt+letter to a window, as the system delivers a mnemonic.
void PostAltKey(HWND window, wchar_t letter) {
    constexpr LPARAM kAltDown = 1 << 29;
    PostMessageW(window, WM_SYSCHAR, letter, kAltDown | 1);
}

// Wine without an X display makes windows that never show and message boxes that return at
// once: nothing could be seen or answered. Windows always has a desktop.
bool UnderWineWithoutDisplay() {
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine && !GetEnvironmentVariableW(L"DISPLAY", nullptr, 0);
}

class Win32FrmGlavnaTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (UnderWineWithoutDisplay()) GTEST_SKIP() << "Wine has no display (run under xvfb-run)";
        window = std::make_unique<Win32MainWindow>(kTitle, "Tarvik_Upg");
        window->SetClickHandler([this](int index) { clicks.push_back(index); });
    }

    HWND H(Control c) const { return window->Handle(c); }

    // Shows the window and serves its loop until the first paints are done.
    void ShowAndPaint() {
        window->ShowCentred();
        for (int i = 0; i < 5; ++i) window->DoEvents();
    }

    std::unique_ptr<Win32MainWindow> window;
    std::vector<int> clicks;
};

TEST(TwipScaleWin32, FontHeightsFollowTheScreensScale) {
    struct Row {
        const char* label;
        double points;
        double dpi;
        int height;
    };
    const Row rows[] = {
        {"default font at 96 dpi", 8.25, 96, -11},
        {"large bold font at 96 dpi", 9.75, 96, -13},
        {"default font at 144 dpi", 8.25, 144, -17},
        {"large bold font at 120 dpi", 9.75, 120, -16},
    };
    for (const Row& row : rows) EXPECT_EQ(FontHeight(row.points, row.dpi), row.height) << row.label;
}

TEST(Win32MessageBoxStyle, IconAndButtonsOfEveryBox) {
    struct Row {
        MsgIcon icon;
        MsgButtons buttons;
        UINT style;
    };
    const Row rows[] = {
        {MsgIcon::None, MsgButtons::Ok, MB_OK},
        {MsgIcon::Error, MsgButtons::Ok, MB_OK | MB_ICONERROR},
        {MsgIcon::Warning, MsgButtons::Ok, MB_OK | MB_ICONWARNING},
        {MsgIcon::Information, MsgButtons::Ok, MB_OK | MB_ICONINFORMATION},
        {MsgIcon::Question, MsgButtons::YesNo, MB_YESNO | MB_ICONQUESTION},
        {MsgIcon::Warning, MsgButtons::YesNo, MB_YESNO | MB_ICONWARNING},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MessageBoxStyle(row.icon, row.buttons), row.style)
            << int(row.icon) << "/" << int(row.buttons);
    }
}

TEST(Win32MessageBoxStyle, OnlyYesIsYes) {
    EXPECT_EQ(AnswerOf(IDYES, MsgButtons::YesNo), MsgAnswer::Yes);
    EXPECT_EQ(AnswerOf(IDNO, MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(AnswerOf(IDCANCEL, MsgButtons::YesNo), MsgAnswer::No) << "Esc";
    EXPECT_EQ(AnswerOf(0, MsgButtons::YesNo), MsgAnswer::No) << "no box could be shown";
    EXPECT_EQ(AnswerOf(0, MsgButtons::Ok), MsgAnswer::Ok);
}

TEST(Win32MessageBoxStyle, EveryLineBreakBecomesCrLf) {
    EXPECT_EQ(WindowsLineEnds("a\r\nb\nc\rd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(WindowsLineEnds("\r\n\r\n"), "\r\n\r\n");
    EXPECT_EQ(WindowsLineEnds("bez"), "bez");
}

TEST_F(Win32FrmGlavnaTest, IsAFixedWindowWithOnlyACloseBoxAndTheDesignsClientArea) {
    ASSERT_EQ(window->DotsPerInch(), 96.0) << "the test display's scale";
    const LONG_PTR style = Style(H(Control::FrmGlavna));
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU) << "the close box";
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    RECT client{};
    GetClientRect(H(Control::FrmGlavna), &client);
    EXPECT_EQ(client.right, 414);
    EXPECT_EQ(client.bottom, 259);
    EXPECT_EQ(WindowText(H(Control::FrmGlavna)), kTitle);
}

TEST_F(Win32FrmGlavnaTest, PlacesEveryControlOfTheDesignInPixels) {
    for (const ControlDesign& d : FrmGlavnaDesign()) {
        PixelRect expected = TwipsToPixels(d.rect, 96);
        if (d.container != Control::FrmGlavna) {
            const PixelRect frame = TwipsToPixels(window->Bounds(d.container), 96);
            expected.x += frame.x;
            expected.y += frame.y;
        }
        EXPECT_EQ(PlaceOf(H(d.id)), expected) << d.name;
        EXPECT_EQ(GetParent(H(d.id)), H(Control::FrmGlavna)) << d.name;
        EXPECT_EQ((Style(H(d.id)) & WS_VISIBLE) != 0, d.visibleAtStart) << d.name;
        EXPECT_EQ(window->Bounds(d.id), d.rect) << d.name;
    }
    // Two places worked out by hand: LblBaza inside FramBaza, the cancel button.
    EXPECT_EQ(PlaceOf(H(Control::LblBaza)), (PixelRect{10, 42, 393, 21}));
    EXPECT_EQ(PlaceOf(H(Control::CmdAkcija1)), (PixelRect{344, 232, 63, 21}));
}

// On a monitor of 150 % the caption and borders are that monitor's: the frame grows with the
// scale, so that the client area stays the design's. Where the system has no per-monitor
// frames (Windows 7 and 8) every scale gets the screen's frame.
TEST(WindowDpiWin32, TheFrameFollowsTheScaleOfTheWindowsMonitor) {
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    const SIZE at96 = OuterSizeForClient(414, 259, kStyle, WS_EX_CONTROLPARENT, 96);
    const SIZE at144 = OuterSizeForClient(621, 389, kStyle, WS_EX_CONTROLPARENT, 144);
    RECT screens{0, 0, 621, 389};
    AdjustWindowRectEx(&screens, kStyle, FALSE, WS_EX_CONTROLPARENT);
    const bool perMonitor =
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi") != nullptr;
    if (!perMonitor) {
        EXPECT_EQ(at144.cx, screens.right - screens.left);
        EXPECT_EQ(at144.cy, screens.bottom - screens.top);
        return;
    }
    EXPECT_GT(at144.cy - 389, at96.cy - 259) << "the caption at 144 dpi is taller";
    EXPECT_GT(at144.cx - 621, 0);
    // The frame at the screen's own scale is the one the system gives every window.
    const UINT screenDpi = WindowDpi(nullptr);
    const SIZE atScreen = OuterSizeForClient(621, 389, kStyle, WS_EX_CONTROLPARENT, screenDpi);
    EXPECT_EQ(atScreen.cx, screens.right - screens.left);
    EXPECT_EQ(atScreen.cy, screens.bottom - screens.top);
}

// Moved to a monitor of 144 dpi, as Windows tells a per-monitor aware window.
TEST_F(Win32FrmGlavnaTest, ScalesToAMonitorOfAnotherDpi) {
    RECT suggested{100, 50, 100 + 640, 50 + 420};
    SendMessageW(H(Control::FrmGlavna), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(window->DotsPerInch(), 144.0);
    RECT client{};
    GetClientRect(H(Control::FrmGlavna), &client);
    EXPECT_EQ(client.right, 621);
    EXPECT_EQ(client.bottom, 389);
    EXPECT_EQ(PlaceOf(H(Control::CmdAkcija1)),
              TwipsToPixels(window->Bounds(Control::CmdAkcija1), 144));
    const PixelRect frame = TwipsToPixels(window->Bounds(Control::FramTablica), 144);
    const PixelRect bar = TwipsToPixels(window->Bounds(Control::PrgBar), 144);
    EXPECT_EQ(PlaceOf(H(Control::PrgBar)),
              (PixelRect{frame.x + bar.x, frame.y + bar.y, bar.width, bar.height}));
    for (Control c : {Control::LblPozor, Control::LblBaza, Control::CmdAkcija0}) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(H(c), WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(font.lfHeight, c == Control::LblBaza ? -20 : -17);
    }
    RECT outer{};
    GetWindowRect(H(Control::FrmGlavna), &outer);
    EXPECT_EQ(outer.left, 100);
    EXPECT_EQ(outer.top, 50);
}

TEST_F(Win32FrmGlavnaTest, ShowsTheDesignsCaptionsKindsAndFonts) {
    HDC screen = GetDC(nullptr);
    for (const ControlDesign& d : FrmGlavnaDesign()) {
        const HWND h = H(d.id);
        EXPECT_EQ(WindowText(h), d.caption) << d.name;
        const std::wstring cls = ClassName(h);
        switch (d.kind) {
            case ControlKind::Label:
                EXPECT_EQ(cls, L"Static") << d.name;
                EXPECT_EQ(Style(h) & SS_TYPEMASK, d.align == TextAlign::Center  ? SS_CENTER
                                                  : d.align == TextAlign::Right ? SS_RIGHT
                                                                                : SS_LEFT)
                    << d.name;
                break;
            case ControlKind::Frame:
                EXPECT_EQ(cls, L"Button") << d.name;
                EXPECT_EQ(Style(h) & BS_TYPEMASK, BS_GROUPBOX) << d.name;
                break;
            case ControlKind::ProgressBar: EXPECT_EQ(cls, PROGRESS_CLASSW) << d.name; break;
            case ControlKind::TextBox:
                EXPECT_EQ(cls, L"Edit") << d.name;
                EXPECT_TRUE(Style(h) & ES_READONLY) << d.name;
                EXPECT_TRUE(Style(h) & ES_MULTILINE) << d.name;
                break;
            case ControlKind::Button: EXPECT_EQ(cls, L"Button") << d.name; break;
        }
        const auto font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr) << d.name;
        LOGFONTW logFont{};
        GetObjectW(font, sizeof logFont, &logFont);
        EXPECT_EQ(logFont.lfWeight, d.font == ControlFont::Default ? FW_NORMAL : FW_BOLD)
            << d.name;
        EXPECT_EQ(logFont.lfHeight, d.font == ControlFont::Bold975 ? -13 : -11) << d.name;
        EXPECT_EQ(logFont.lfCharSet, EASTEUROPE_CHARSET) << d.name;
        EXPECT_STREQ(logFont.lfFaceName, DesignFonts::kFaceName) << d.name;
        // Whatever face the system gives for it has every Croatian letter.
        const HGDIOBJ old = SelectObject(screen, font);
        const wchar_t letters[] = L"čćđšžČĆĐŠŽ";
        WORD glyphs[10] = {};
        GetGlyphIndicesW(screen, letters, 10, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
        for (WORD glyph : glyphs) EXPECT_NE(glyph, 0xFFFF) << d.name;
        SelectObject(screen, old);
    }
    ReleaseDC(nullptr, screen);
}

TEST_F(Win32FrmGlavnaTest, KeepsTextsAsSetAndShowsEveryLineBreakAsALine) {
    window->SetText(Control::LblPozor, kWarning);
    EXPECT_EQ(WindowText(H(Control::LblPozor)), kWarning);
    window->SetText(Control::TxtRez, "prvi\ndrugi");
    EXPECT_EQ(window->Text(Control::TxtRez), "prvi\ndrugi");
    EXPECT_EQ(WindowText(H(Control::TxtRez)), "prvi\r\ndrugi");
    window->SetText(Control::FrmGlavna, "Naslov čćžšđ");
    EXPECT_EQ(WindowText(H(Control::FrmGlavna)), "Naslov čćžšđ");
    window->SetText(Control::LblBaza, "R&D");
    EXPECT_TRUE(Style(H(Control::LblBaza)) & SS_NOPREFIX) << "an & of a name is shown";
}

// Where the caret of a box stands (the end of its selection).
DWORD CaretOf(HWND box) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return end;
}

TEST_F(Win32FrmGlavnaTest, AppendedTextsShowAsIfSetWhole) {
    // Appends after a set, one of them with its CR LF split between two appends, one kept while
    // the caret was asked to the end, and a set that replaces them all.
    const HWND log = H(Control::TxtRez);
    window->SetText(Control::TxtRez, "Spajam se...");
    window->AppendText(Control::TxtRez, "\r\nVerzije na raspolaganju :");
    window->ApplyPending();
    window->AppendText(Control::TxtRez, "Tn_315_316.cab / 700, \r");
    window->ApplyPending();
    window->AppendText(Control::TxtRez, "\nIzabrana čćžšđ");
    window->SetCaretToEnd(Control::TxtRez);
    window->ApplyPending();
    const std::string whole =
        "Spajam se...\r\nVerzije na raspolaganju :Tn_315_316.cab / 700, \r\nIzabrana čćžšđ";
    EXPECT_EQ(window->Text(Control::TxtRez), whole);
    EXPECT_EQ(WindowText(log), whole);
    EXPECT_EQ(CaretOf(log), static_cast<DWORD>(GetWindowTextLengthW(log)));
    window->SetText(Control::TxtRez, "");
    window->AppendText(Control::TxtRez, "novo");
    window->SetCaretToEnd(Control::TxtRez);
    window->ApplyPending();
    EXPECT_EQ(WindowText(log), "novo");
    EXPECT_EQ(CaretOf(log), 4u);
}

// A listing appends an entry at a time without yielding: the box is given the additions, never
// the whole log again, and they are gathered at the rate of the repaints.
TEST_F(Win32FrmGlavnaTest, AListingsEntriesGoOntoTheBoxAsAdditionsGathered) {
    ShowAndPaint();
    Sleep(50);  // the show's yields are a loop that no longer turns
    const HWND log = H(Control::TxtRez);
    window->SetVisible(Control::TxtRez, true);
    window->SetText(Control::TxtRez, "Verzije na raspolaganju :");
    window->Refresh(Control::TxtRez);
    MessageCounter messages(log);
    std::string whole = window->Text(Control::TxtRez);
    constexpr int kEntries = 300;  // enough for the fallback to set the whole log hundreds of times
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kEntries; ++i) {
        const std::string entry = "Tn_315_316_" + std::to_string(i) + ".cab / 1024, ";
        whole += entry;
        window->AppendText(Control::TxtRez, entry);
        window->SetCaretToEnd(Control::TxtRez);
        window->Refresh(Control::TxtRez);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    window->ApplyPending();
    EXPECT_EQ(WindowText(log), whole);
    EXPECT_EQ(CaretOf(log), static_cast<DWORD>(GetWindowTextLengthW(log)));
    EXPECT_EQ(messages.Count(WM_SETTEXT), 0) << "the whole log was set anew";
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() /
                           (1000 / Win32MainWindow::kRepaintsPerSecond) + 2;
    EXPECT_GE(messages.Count(EM_REPLACESEL), 1);
    EXPECT_LE(messages.Count(EM_REPLACESEL), limit);
}

// Work off the window's thread appends through the window's thread as well.
TEST_F(Win32FrmGlavnaTest, AppendsOfWorkOffTheWindowsThreadReachTheBox) {
    UiThreadView view(*window);
    window->SetText(Control::TxtRez, "a");
    view.RunOffUiThread([&] {
        for (int i = 0; i < 50; ++i) view.AppendText(Control::TxtRez, "b");
    });
    EXPECT_EQ(WindowText(H(Control::TxtRez)), "a" + std::string(50, 'b'));
}

TEST_F(Win32FrmGlavnaTest, StacksLabelsBeneathAndLaterControlsAbove) {
    EXPECT_TRUE(LiesAbove(H(Control::PrgBar), H(Control::LblTablica)));
    EXPECT_TRUE(LiesAbove(H(Control::TxtRez), H(Control::LblPozor)));
    EXPECT_TRUE(LiesAbove(H(Control::LblBaza), H(Control::FramBaza)));
    EXPECT_TRUE(LiesAbove(H(Control::LblTablica), H(Control::FramTablica)));
    EXPECT_TRUE(LiesAbove(H(Control::PrgBar), H(Control::FramTablica)));
}

TEST_F(Win32FrmGlavnaTest, MovesTheLogBoxOntoTheWarningAndFramesCarryTheirControls) {
    window->Move(Control::TxtRez, window->Bounds(Control::LblPozor));
    window->SetVisible(Control::TxtRez, true);
    EXPECT_EQ(PlaceOf(H(Control::TxtRez)), PlaceOf(H(Control::LblPozor)));
    EXPECT_TRUE(Style(H(Control::TxtRez)) & WS_VISIBLE);
    window->Move(Control::FramTablica, {120, 1200, 5985, 585});
    EXPECT_EQ(PlaceOf(H(Control::PrgBar)).y, 80 + 16);
}

TEST_F(Win32FrmGlavnaTest, ButtonsAndTheirMnemonicsReportTheirIndex) {
    ShowAndPaint();
    SendMessageW(H(Control::CmdAkcija0), BM_CLICK, 0, 0);
    PostAltKey(H(Control::FrmGlavna), L'o');
    window->DoEvents();
    PostAltKey(H(Control::FrmGlavna), L'd');
    window->DoEvents();
    EXPECT_EQ(clicks, (std::vector<int>{0, 1, 0}));
    // After a reinstall the cancel button reads "&Kraj"; "&Dobro" is disabled.
    window->SetText(Control::CmdAkcija1, "&Kraj");
    window->SetEnabled(Control::CmdAkcija0, false);
    PostAltKey(H(Control::CmdAkcija1), L'k');
    PostAltKey(H(Control::CmdAkcija1), L'd');
    window->DoEvents();
    EXPECT_EQ(clicks, (std::vector<int>{0, 1, 0, 1}));
}

TEST_F(Win32FrmGlavnaTest, AYieldServesWhatArrivedBeforeIt) {
    ShowAndPaint();
    PostClick(H(Control::CmdAkcija1));
    window->DoEvents();
    EXPECT_EQ(clicks, std::vector<int>{1});
}

TEST_F(Win32FrmGlavnaTest, RefusesCloseRequestsFromOutsideAndClosesForTheProgram) {
    std::vector<bool> asked;
    window->SetCloseRequestHandler([&](bool byProgram) {
        asked.push_back(byProgram);
        return byProgram;
    });
    ShowAndPaint();
    const HWND handle = H(Control::FrmGlavna);
    SendMessageW(handle, WM_CLOSE, 0, 0);                 // another program
    SendMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);     // the close box, Alt+F4
    PostMessageW(handle, WM_CLOSE, 0, 0);
    window->DoEvents();
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_EQ(asked, (std::vector<bool>{false, false, false}));
    window->CloseWindow();
    EXPECT_EQ(asked, (std::vector<bool>{false, false, false, true}));
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(window->RunUntilClosed(), 0) << "the loop ends with the window";
}

TEST_F(Win32FrmGlavnaTest, WithoutAHandlerOnlyTheProgramCloses) {
    const HWND handle = H(Control::FrmGlavna);
    SendMessageW(handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(handle));
    window->CloseWindow();
    EXPECT_FALSE(IsWindow(handle));
}

TEST_F(Win32FrmGlavnaTest, MessageBoxesAreModalWithCroatianButtonsAndTheirTitle) {
    ShowAndPaint();
    const DWORD thread = GetCurrentThreadId();
    const HWND owner = H(Control::FrmGlavna);
    {
        BoxAnswerer answerer(thread, owner, Press(IDOK));
        EXPECT_EQ(window->ShowMessage("Prije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.",
                                      MsgIcon::Warning, MsgButtons::Ok, std::nullopt),
                  MsgAnswer::Ok);
        const BoxSeen& seen = answerer.Seen();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.title, "Tarvik_Upg") << "a box without a title has the application's";
        EXPECT_THAT(seen.text, HasSubstr("zaštitno snimanje"));
        EXPECT_EQ(seen.buttons, (std::map<int, std::string>{{IDOK, "U redu"}}));
        EXPECT_FALSE(seen.ownerEnabled) << "modal";
    }
    EXPECT_TRUE(IsWindowEnabled(owner));
    struct Row {
        const char* label;
        std::function<void(HWND)> answer;
        MsgAnswer expected;
    };
    const Row rows[] = {
        {"Da", Press(IDYES), MsgAnswer::Yes},
        {"Ne", Press(IDNO), MsgAnswer::No},
        {"Esc", &PressEscape, MsgAnswer::No},
    };
    for (const Row& row : rows) {
        BoxAnswerer answerer(thread, owner, row.answer);
        EXPECT_EQ(window->ShowMessage("Nastaviti?", MsgIcon::Question, MsgButtons::YesNo,
                                      "Velmora dizanje verzije."),
                  row.expected)
            << row.label;
        const BoxSeen& seen = answerer.Seen();
        ASSERT_TRUE(seen.found) << row.label;
        EXPECT_EQ(seen.title, "Velmora dizanje verzije.") << row.label;
        EXPECT_EQ(seen.buttons, (std::map<int, std::string>{{IDYES, "Da"}, {IDNO, "Ne"}}))
            << row.label;
    }
}

TEST_F(Win32FrmGlavnaTest, TheButtonWithTheKeyboardHasItAgainAfterAMessageBox) {
    ShowAndPaint();
    ASSERT_EQ(GetFocus(), H(Control::CmdAkcija0)) << "\"&Dobro\" has the keyboard at the start";
    SetFocus(H(Control::CmdAkcija1));
    {
        BoxAnswerer answerer(GetCurrentThreadId(), H(Control::FrmGlavna), Press(IDOK));
        window->ShowMessage("Gotovo.", MsgIcon::Information, MsgButtons::Ok, std::nullopt);
    }
    window->DoEvents();
    EXPECT_EQ(GetFocus(), H(Control::CmdAkcija1));
}

TEST_F(Win32FrmGlavnaTest, TheWaitCursorCoversTheWindow) {
    const HWND handle = H(Control::FrmGlavna);
    const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    window->SetCursor(Cursor::Wait);
    SendMessageW(handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(H(Control::LblPozor)), hit);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
    window->SetCursor(Cursor::Default);
    SendMessageW(handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(handle), hit);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // IDC_ARROW
}

TEST_F(Win32FrmGlavnaTest, ProgressKeepsExactNumbersAndFillsTheBarInProportion) {
    const HWND bar = H(Control::PrgBar);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), Win32MainWindow::kBarSteps);
    window->SetProgressMax(16777217.0f);  // not a float: kept as the nearest one
    window->SetProgressValue(4194304.0f);
    EXPECT_EQ(window->ProgressMax(), 16777216.0f);
    EXPECT_EQ(window->ProgressValue(), 4194304.0f);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), Win32MainWindow::kBarSteps / 4);
    window->SetProgressValue(2e9f);  // beyond the maximum: full, not wrapped
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), Win32MainWindow::kBarSteps);
    window->SetProgressMax(0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
}

// The download loop: yield, read 512 bytes, set the bar and the counter, redraw the counter,
// 10,000 times. The window keeps up with the latest values but puts them on the screen at most
// kRepaintsPerSecond times a second, and the last values arrive without another change.
TEST_F(Win32FrmGlavnaTest, ADownloadsChangesReachTheScreenAtMostThirtyTimesASecond) {
    window->SetVisible(Control::LblUkupno3, true);
    ShowAndPaint();
    const HWND counter = H(Control::LblUkupno3);
    const HWND bar = H(Control::PrgBar);
    MessageCounter counterMessages(counter);
    MessageCounter barMessages(bar);
    window->SetProgressMax(1e9f);
    constexpr int kReads = 10000;
    const auto start = std::chrono::steady_clock::now();
    for (int read = 1; read <= kReads; ++read) {
        window->DoEvents();
        window->SetProgressValue(static_cast<float>(read) * 512.0f);
        window->SetText(Control::LblUkupno3, std::to_string(read * 512));
        window->Refresh(Control::LblUkupno3);
        ASSERT_EQ(window->Text(Control::LblUkupno3), std::to_string(read * 512));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() /
                           (1000 / Win32MainWindow::kRepaintsPerSecond) + 2;
    EXPECT_LE(counterMessages.Count(WM_SETTEXT), limit);
    EXPECT_LE(counterMessages.Count(WM_PAINT), limit);
    EXPECT_LE(barMessages.Count(PBM_SETPOS), limit);
    EXPECT_LE(barMessages.Count(WM_PAINT), limit);
    // The last values come through by the timer alone (bounded wait).
    const std::string last = std::to_string(kReads * 512);
    for (int i = 0; i < 200 && WindowText(counter) != last; ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        window->DoEvents();
    }
    EXPECT_EQ(WindowText(counter), last);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 51);  // 5,120,000 of 1e9
}

// Without a yielding loop nothing would apply a kept change: each is painted at once.
TEST_F(Win32FrmGlavnaTest, ChangesOutsideAYieldingLoopArePaintedAtOnce) {
    ShowAndPaint();
    Sleep(50);  // the show's yields are a loop that no longer turns
    const HWND label = H(Control::LblBaza);
    MessageCounter messages(label);
    for (const char* name : {"Tarvik", "Tarvik2024", "Tarvik2025"}) {
        window->SetText(Control::LblBaza, name);
        window->Refresh(Control::LblBaza);
        EXPECT_EQ(WindowText(label), name);
    }
    EXPECT_EQ(messages.Count(WM_PAINT), 3);
}

TEST_F(Win32FrmGlavnaTest, MessageBoxesShowKeptChangesFirst) {
    ShowAndPaint();
    const HWND label = H(Control::LblBaza);
    // A download's loop: a yield and two changes close together, the second one kept. A
    // machine that stalls between them applies both at once; then the loop goes round again.
    std::string latest;
    for (int round = 0; round < 20 && (latest.empty() || WindowText(label) == latest); ++round) {
        latest = "Tarvik" + std::to_string(2024 + round);
        window->DoEvents();
        window->SetText(Control::LblBaza, "prva");
        window->SetText(Control::LblBaza, latest);
    }
    ASSERT_NE(WindowText(label), latest) << "the second change was kept";
    std::string shownWithTheBox;
    BoxAnswerer answerer(GetCurrentThreadId(), H(Control::FrmGlavna), [&](HWND box) {
        shownWithTheBox = WindowText(label);
        Press(IDOK)(box);
    });
    window->ShowMessage("Greška", MsgIcon::Error, MsgButtons::Ok, std::nullopt);
    answerer.Seen();
    EXPECT_EQ(shownWithTheBox, latest);
}

// What thread each call of a view ran on.
class ThreadRecordingView : public IView {
public:
    void SetText(Control, const std::string& text) override { Note(); text_ = text; }
    std::string Text(Control) const override { Note(); return text_; }
    void SetEnabled(Control, bool) override { Note(); }
    void SetVisible(Control, bool) override { Note(); }
    void Move(Control, TwipRect) override { Note(); }
    TwipRect Bounds(Control) const override { Note(); return {}; }
    void Refresh(Control) override { Note(); }
    void SetCaretToEnd(Control) override { Note(); }
    void SetProgressMax(float) override { Note(); }
    float ProgressMax() const override { Note(); return 0; }
    void SetProgressValue(float) override { Note(); }
    float ProgressValue() const override { Note(); return 0; }
    MsgAnswer ShowMessage(const std::string&, MsgIcon, MsgButtons,
                          const std::optional<std::string>&) override {
        Note();
        throw AppError(5, "ThreadRecordingView", "no boxes here");
    }
    void DoEvents() override { Note(); }
    void SetCursor(Cursor) override { Note(); }
    void CloseWindow() override { Note(); }
    [[noreturn]] void EndProgram(int) override { std::abort(); }
    void RunOffUiThread(const std::function<void()>& work) override {
        window->RunOffUiThread(work);
    }

    Win32MainWindow* window = nullptr;
    mutable std::vector<DWORD> threads;

private:
    void Note() const { threads.push_back(GetCurrentThreadId()); }
    std::string text_;
};

TEST_F(Win32FrmGlavnaTest, WorkOffTheWindowsThreadHasEveryViewCallRunOnTheWindowsThread) {
    ThreadRecordingView recorder;
    recorder.window = window.get();
    UiThreadView view(recorder);
    DWORD workThread = 0;
    std::string readBack;
    bool errorCameBack = false;
    view.RunOffUiThread([&] {
        workThread = GetCurrentThreadId();
        view.SetText(Control::LblBaza, "Tarvik");
        readBack = view.Text(Control::LblBaza);
        view.Move(Control::TxtRez, {1, 2, 3, 4});
        view.SetProgressValue(5);
        view.DoEvents();
        try {
            view.ShowMessage("x", MsgIcon::None, MsgButtons::Ok, std::nullopt);
        } catch (const AppError& e) {
            errorCameBack = e.number() == 5;
        }
        view.RunOffUiThread([&] { view.Refresh(Control::LblBaza); });  // already off: runs
    });
    EXPECT_NE(workThread, GetCurrentThreadId());
    EXPECT_NE(workThread, 0u);
    EXPECT_EQ(readBack, "Tarvik");
    EXPECT_TRUE(errorCameBack) << "an exception on the window's thread is raised in the work";
    ASSERT_EQ(recorder.threads.size(), 7u);
    for (DWORD thread : recorder.threads) EXPECT_EQ(thread, GetCurrentThreadId());
}

TEST_F(Win32FrmGlavnaTest, WorkOffTheWindowsThreadPassesItsFailureBack) {
    EXPECT_THROW(window->RunOffUiThread([] { throw AppError(7, "work", "failed"); }), AppError);
}

TEST_F(Win32FrmGlavnaTest, WorkOffTheWindowsThreadRefusesInputButKeepsTheWindowServed) {
    ShowAndPaint();
    const HWND cancel = H(Control::CmdAkcija1);
    UiThreadView view(*window);
    window->RunOffUiThread([&] {
        PostClick(cancel);
        PostAltKey(cancel, L'o');
        PostAltKey(cancel, L'd');
        view.SetText(Control::LblTablica, "radim");  // a round trip: the window was served
        view.Refresh(Control::LblTablica);
    });
    window->DoEvents();
    EXPECT_TRUE(clicks.empty()) << "the clicks and keys during the work were thrown away";
    EXPECT_EQ(WindowText(H(Control::LblTablica)), "radim");
    PostClick(cancel);
    window->DoEvents();
    EXPECT_EQ(clicks, std::vector<int>{1}) << "input after the work is served again";
}

TEST_F(Win32FrmGlavnaTest, AMessageBoxOfWorkOffTheWindowsThreadTakesTheUsersAnswer) {
    ShowAndPaint();
    UiThreadView view(*window);
    BoxAnswerer answerer(GetCurrentThreadId(), H(Control::FrmGlavna), Press(IDNO));
    MsgAnswer answer = MsgAnswer::Yes;
    window->RunOffUiThread([&] {
        answer = view.ShowMessage("Nastaviti?", MsgIcon::Question, MsgButtons::YesNo,
                                  std::nullopt);
    });
    EXPECT_TRUE(answerer.Seen().found);
    EXPECT_EQ(answer, MsgAnswer::No);
}

TEST_F(Win32FrmGlavnaTest, AHandlersFailureComesOutOfTheLoopNotThroughTheSystem) {
    window->SetClickHandler([](int) { throw AppError(9, "klik", "pao"); });
    ShowAndPaint();
    PostMessageW(H(Control::CmdAkcija0), BM_CLICK, 0, 0);
    EXPECT_THROW(window->DoEvents(), AppError);
}

}  // namespace
