// The Win32 window in-process at the screen's 96 dpi: the window contract, and what only the
// Win32 window shows (its control kinds, styles, fonts and stacking, the keyboard, the frame at
// another monitor's scale) or does (additions as edits, the cursor, a handler's failure).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/Utf16.h"
#include "platform/win32/DesignFonts.h"
#include "platform/win32/LogBoxAppend.h"
#include "platform/win32/UiThreadView.h"
#include "platform/win32/Win32MainWindow.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/WindowDpi.h"
#include "platform/window/MainWindowContract.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kTitle = "Velmora - Podizanje više verzije - v3.0";

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

// Finds the next message box of the given thread (bounded wait), reads it, then answers it with
// `answer` (a function of the box's window).
class Win32BoxAnswerer {
public:
    Win32BoxAnswerer(DWORD boxThread, HWND owner, std::function<void(HWND)> answer)
        : worker_([this, boxThread, owner, answer] {
              const HWND box = WaitForBox(boxThread);
              if (!box) return;
              seen_.found = true;
              seen_.title = WindowText(box);
              for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                  if (ClassName(c) == L"Static") seen_.text += WindowText(c);
              }
              for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
                  if (HWND button = GetDlgItem(box, id)) seen_.buttons.push_back(WindowText(button));
              }
              seen_.modal = owner && !IsWindowEnabled(owner);
              answer(box);
          }) {}
    // Waits for the answer to have been given.
    const BoxSeen& Seen() {
        if (worker_.joinable()) worker_.join();
        return seen_;
    }
    ~Win32BoxAnswerer() {
        if (worker_.joinable()) worker_.join();
    }

private:
    // A callback of the system's: stdcall in a 32-bit program, which no lambda converts to.
    static BOOL CALLBACK TakeVisibleBox(HWND w, LPARAM out) {
        if (ClassName(w) != L"#32770" || !IsWindowVisible(w)) return TRUE;
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
    }

    static HWND WaitForBox(DWORD thread) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            HWND found = nullptr;
            EnumThreadWindows(thread, TakeVisibleBox, reinterpret_cast<LPARAM>(&found));
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
    // The key-up flags (previous state and transition, bits 30 and 31) as LPARAM of either width.
    PostMessageW(focus, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0000001u));
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

// Where the caret of a box stands (the end of its selection).
DWORD CaretOf(HWND box) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return end;
}

// A listing's entries, cut to size characters.
std::string Listing(std::size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) {
        text += "Tn_315_316_" + std::to_string(i) + ".cab / 1024, ";
    }
    return text.substr(0, size);
}

struct Win32WindowTraits {
    using Window = Win32MainWindow;

    static bool Usable() { return !UnderWineWithoutDisplay(); }
    static std::unique_ptr<Window> Make(const char* title, const char* appTitle) {
        return std::make_unique<Win32MainWindow>(title, appTitle);
    }
    static void Show(Window& window) {
        window.ShowCentred();
        for (int i = 0; i < 5; ++i) window.DoEvents();
    }
    static void Serve(Window& window) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        window.DoEvents();
    }
    static std::string Shown(Window& window, Control c) {
        return main_window_contract::LfLines(WindowText(window.Handle(c)));
    }
    static bool CaretAtEnd(Window& window, Control c) {
        const HWND box = window.Handle(c);
        return CaretOf(box) == static_cast<DWORD>(GetWindowTextLengthW(box));
    }
    static int BarStep(Window& window) {
        return static_cast<int>(SendMessageW(window.Handle(Control::PrgBar), PBM_GETPOS, 0, 0));
    }
    static PixelRect Place(Window& window, Control c) { return PlaceOf(window.Handle(c)); }
    static bool Hidden(Window& window, Control c) {
        return (Style(window.Handle(c)) & WS_VISIBLE) == 0;
    }
    static bool LiesAbove(Window& window, Control a, Control b) {
        return ::LiesAbove(window.Handle(a), window.Handle(b));
    }
    static bool IsOpen(Window& window) { return IsWindow(window.Handle(Control::FrmGlavna)); }
    static void AskToCloseFromOutside(Window& window) {
        const HWND handle = window.Handle(Control::FrmGlavna);
        SendMessageW(handle, WM_CLOSE, 0, 0);              // another program
        SendMessageW(handle, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box, Alt+F4
        PostMessageW(handle, WM_CLOSE, 0, 0);
        window.DoEvents();
    }
    static std::function<void()> ClickOn(Window& window, Control c) {
        const HWND control = window.Handle(c);
        return [control] { PostClick(control); };
    }
    static std::unique_ptr<IView> ThreadView(IView& inner, Window&) {
        return std::make_unique<UiThreadView>(inner);
    }

    class ScreenUpdates {
    public:
        ScreenUpdates(Window& window, Control c) : messages_(window.Handle(c)) {}
        int Paints() const { return messages_.Count(WM_PAINT); }
        int Updates() const {
            return std::max({Paints(), messages_.Count(WM_SETTEXT), messages_.Count(PBM_SETPOS)});
        }

    private:
        MessageCounter messages_;
    };

    // Answers the next box of this thread with the button reading `press`.
    class BoxAnswerer {
    public:
        BoxAnswerer(Window& window, std::string press, std::function<void()> onShown)
            : answerer_(GetCurrentThreadId(), window.Handle(Control::FrmGlavna),
                        [press, onShown](HWND box) {
                            onShown();
                            for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
                                const HWND button = GetDlgItem(box, id);
                                if (button && WindowText(button) == press) Press(id)(box);
                            }
                        }) {}
        BoxSeen Seen() {
            BoxSeen seen = answerer_.Seen();
            seen.text = main_window_contract::LfLines(seen.text);
            return seen;
        }

    private:
        Win32BoxAnswerer answerer_;
    };
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, MainWindowContract, Win32WindowTraits);

class Win32MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (UnderWineWithoutDisplay()) GTEST_SKIP() << "Wine has no display (run under xvfb-run)";
        window = std::make_unique<Win32MainWindow>(kTitle, "Tarvik_Upg");
        window->SetClickHandler([this](int index) { clicks.push_back(index); });
    }

    HWND H(Control c) const { return window->Handle(c); }

    void ShowAndPaint() { Win32WindowTraits::Show(*window); }

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

TEST_F(Win32MainWindowTest, IsAFixedWindowWithOnlyACloseBoxAndTheDesignsClientArea) {
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
TEST_F(Win32MainWindowTest, ScalesToAMonitorOfAnotherDpi) {
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

TEST_F(Win32MainWindowTest, ShowsTheDesignsCaptionsKindsAndFonts) {
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

TEST_F(Win32MainWindowTest, ShowsEveryLineBreakOfTheLogAsALineAndAnAmpersandOfAName) {
    window->SetText(Control::TxtRez, "prvi\ndrugi");
    EXPECT_EQ(window->Text(Control::TxtRez), "prvi\ndrugi");
    EXPECT_EQ(WindowText(H(Control::TxtRez)), "prvi\r\ndrugi");
    window->SetText(Control::LblBaza, "R&D");
    EXPECT_TRUE(Style(H(Control::LblBaza)) & SS_NOPREFIX) << "an & of a name is shown";
}

TEST_F(Win32MainWindowTest, LabelsLieBeneathTheControlsOfTheirFrames) {
    EXPECT_TRUE(LiesAbove(H(Control::LblBaza), H(Control::FramBaza)));
    EXPECT_TRUE(LiesAbove(H(Control::LblTablica), H(Control::FramTablica)));
    EXPECT_TRUE(LiesAbove(H(Control::PrgBar), H(Control::FramTablica)));
}

TEST_F(Win32MainWindowTest, AMovedFrameCarriesItsControls) {
    window->Move(Control::FramTablica, {120, 1200, 5985, 585});
    EXPECT_EQ(PlaceOf(H(Control::PrgBar)).y, 80 + 16);
}

TEST_F(Win32MainWindowTest, EscAnswersAQuestionNo) {
    ShowAndPaint();
    Win32BoxAnswerer answerer(GetCurrentThreadId(), H(Control::FrmGlavna), &PressEscape);
    EXPECT_EQ(window->ShowMessage("Nastaviti?", MsgIcon::Question, MsgButtons::YesNo, "IZBOR"),
              MsgAnswer::No);
    EXPECT_TRUE(answerer.Seen().found);
}

TEST_F(Win32MainWindowTest, KeysDuringWorkOffTheWindowsThreadAreThrownAway) {
    ShowAndPaint();
    const HWND cancel = H(Control::CmdAkcija1);
    UiThreadView view(*window);
    window->RunOffUiThread([&] {
        PostAltKey(cancel, L'o');
        PostAltKey(cancel, L'd');
        view.Refresh(Control::LblTablica);  // a round trip: the window was served
    });
    window->DoEvents();
    EXPECT_TRUE(clicks.empty());
}

// A listing appends an entry at a time without yielding: the box is given the additions, never
// the whole log again, and they are gathered at the rate of the repaints.
TEST_F(Win32MainWindowTest, AListingsEntriesGoOntoTheBoxAsAdditionsGathered) {
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
    // Each gathering goes onto the box in pieces (LogBoxAppend).
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() /
                           (1000 / Win32MainWindow::kRepaintsPerSecond) + 2 +
                       static_cast<long long>(whole.size() / kLogBoxPieceChars);
    EXPECT_GE(messages.Count(EM_REPLACESEL), 1);
    EXPECT_LE(messages.Count(EM_REPLACESEL), limit);
}

// An addition longer than a piece goes onto the box in pieces: the box holds it whole and in
// order, with the pieces' ends on a CR LF, on a character of two UTF-16 halves and inside a
// word, and the selection the user made stays where it was.
TEST_F(Win32MainWindowTest, ALongAdditionReachesTheBoxWholeAndLeavesTheSelection) {
    ShowAndPaint();
    const HWND log = H(Control::TxtRez);
    window->SetVisible(Control::TxtRez, true);
    window->SetText(Control::TxtRez, "Verzije na raspolaganju :");
    window->ApplyPending();
    SendMessageW(log, EM_SETSEL, 3, 8);
    // ASCII up to the ends: a piece of the appended text ends after its first kLogBoxPieceChars
    // UTF-16 units, the next kLogBoxPieceChars later.
    std::string tail = Listing(kLogBoxPieceChars - 1) + "\r\n";
    tail += Listing(2 * kLogBoxPieceChars - 1 - tail.size()) + "\xF0\x9F\x93\xA6";  // U+1F4E6
    tail += "Izabrana čćžšđ " + Listing(kLogBoxPieceChars + 100);
    MessageCounter messages(log);
    window->AppendText(Control::TxtRez, tail);
    window->ApplyPending();
    ASSERT_GE(messages.Count(EM_REPLACESEL), 3) << "the addition did not go in as pieces";
    EXPECT_EQ(WindowText(log), "Verzije na raspolaganju :" + tail);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 3u);
    EXPECT_EQ(end, 8u);
}

// A long text set whole (one kept while a listing was appended to it) goes onto the box in
// pieces as well, and is shown as a short one is: from its start, with the caret there.
TEST_F(Win32MainWindowTest, ALongTextSetWholeIsShownFromItsStart) {
    ShowAndPaint();
    const HWND log = H(Control::TxtRez);
    window->Move(Control::TxtRez, window->Bounds(Control::LblPozor));  // where the log shows
    window->SetVisible(Control::TxtRez, true);
    window->AppendText(Control::TxtRez, "staro " + Listing(kLogBoxPieceChars));
    window->ApplyPending();
    const std::string text =
        "Spajam se...\r\nVerzije na raspolaganju :" + Listing(3 * kLogBoxPieceChars);
    window->SetText(Control::TxtRez, text);
    window->ApplyPending();
    EXPECT_EQ(WindowText(log), text);
    DWORD start = 1;
    DWORD end = 1;
    SendMessageW(log, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(SendMessageW(log, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

TEST_F(Win32MainWindowTest, ButtonsAndTheirMnemonicsReportTheirIndex) {
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

TEST_F(Win32MainWindowTest, TheButtonWithTheKeyboardHasItAgainAfterAMessageBox) {
    ShowAndPaint();
    ASSERT_EQ(GetFocus(), H(Control::CmdAkcija0)) << "\"&Dobro\" has the keyboard at the start";
    SetFocus(H(Control::CmdAkcija1));
    {
        Win32BoxAnswerer answerer(GetCurrentThreadId(), H(Control::FrmGlavna), Press(IDOK));
        window->ShowMessage("Gotovo.", MsgIcon::Information, MsgButtons::Ok, std::nullopt);
    }
    window->DoEvents();
    EXPECT_EQ(GetFocus(), H(Control::CmdAkcija1));
}

TEST_F(Win32MainWindowTest, TheWaitCursorCoversTheWindow) {
    const HWND handle = H(Control::FrmGlavna);
    const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    window->SetCursor(Cursor::Wait);
    SendMessageW(handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(H(Control::LblPozor)), hit);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
    window->SetCursor(Cursor::Default);
    SendMessageW(handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(handle), hit);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // IDC_ARROW
}

TEST_F(Win32MainWindowTest, AHandlersFailureComesOutOfTheLoopNotThroughTheSystem) {
    window->SetClickHandler([](int) { throw AppError(9, "klik", "pao"); });
    ShowAndPaint();
    PostMessageW(H(Control::CmdAkcija0), BM_CLICK, 0, 0);
    EXPECT_THROW(window->DoEvents(), AppError);
}

}  // namespace
