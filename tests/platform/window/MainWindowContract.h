#pragma once

// What every toolkit's main window does, as the user and the program see it: the design as
// built, the kept-and-applied texts of a download, the buttons, close requests, message boxes
// and work off the window's thread. Each back-end instantiates the suite over a traits struct
// that reads its screen:
//
//   using Window;                                  the window class (an IView)
//   static bool Usable();                          false skips (no display)
//   static std::unique_ptr<Window> Make(title, appTitle);
//   static void Show(Window&);                     shown, and its first paints done
//   static void Serve(Window&);                    waits a little for events and serves them
//   static std::string Shown(Window&, Control);    the text on the screen, lines ended by "\n"
//   static bool CaretAtEnd(Window&, Control);
//   static int BarStep(Window&);
//   static PixelRect Place(Window&, Control);      in the window's client area
//   static bool Hidden(Window&, Control);          the control itself, not its parents
//   static bool LiesAbove(Window&, Control a, Control b);
//   static bool IsOpen(Window&);
//   static void AskToCloseFromOutside(Window&);    every way the user or another program can
//   static std::function<void()> ClickOn(Window&, Control);  made on the window's thread, the
//                                                  result posts one click, once, from any thread
//   static std::unique_ptr<IView> ThreadView(IView& inner, Window&);
//   class ScreenUpdates { (Window&, Control); int Paints(); int Updates(); };
//   class BoxAnswerer { (Window&, press, onShown); BoxSeen Seen(); };  answers the next box
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/AppError.h"
#include "platform/window/FrmGlavnaLayout.h"
#include "platform/window/RepaintThrottle.h"
#include "platform/window/TwipScale.h"

// What a message box showed while it waited for its answer.
struct BoxSeen {
    bool found = false;
    std::string title;
    std::string text;  // lines ended by "\n"
    std::vector<std::string> buttons;  // sorted
    bool modal = false;
};

template <typename Traits>
class MainWindowContract : public ::testing::Test {
protected:
    using Window = typename Traits::Window;
    static constexpr const char* kTitle = "Velmora - Podizanje više verzije - v3.0";

    void SetUp() override {
        if (!Traits::Usable()) GTEST_SKIP() << "no display to show windows on";
        window = Traits::Make(kTitle, "Tarvik_Upg");
        window->SetClickHandler([this](int index) { clicks.push_back(index); });
    }

    std::string Shown(Control c) { return Traits::Shown(*window, c); }
    // Waits until the window's loop no longer counts as turning.
    static void Pause() { std::this_thread::sleep_for(RepaintThrottle::kApplyInterval * 2); }

    std::unique_ptr<Window> window;
    std::vector<int> clicks;
};

TYPED_TEST_SUITE_P(MainWindowContract);

namespace main_window_contract {

inline std::string LfLines(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

// What thread each call of a view ran on.
class ThreadRecordingView : public IView {
public:
    explicit ThreadRecordingView(IView& window) : window_(window) {}
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
        window_.RunOffUiThread(work);
    }

    mutable std::vector<std::thread::id> threads;

private:
    void Note() const { threads.push_back(std::this_thread::get_id()); }
    IView& window_;
    std::string text_;
};

}  // namespace main_window_contract

TYPED_TEST_P(MainWindowContract, PlacesEveryControlOfTheDesign) {
    auto& w = *this->window;
    const double dpi = w.DotsPerInch();
    for (const ControlDesign& d : FrmGlavnaDesign()) {
        if (d.id == Control::FrmGlavna) continue;
        PixelRect expected = TwipsToPixels(d.rect, dpi);
        if (d.container != Control::FrmGlavna) {
            const PixelRect frame = TwipsToPixels(w.Bounds(d.container), dpi);
            expected.x += frame.x;
            expected.y += frame.y;
        }
        EXPECT_EQ(TypeParam::Place(w, d.id), expected) << d.name;
        EXPECT_EQ(!TypeParam::Hidden(w, d.id), d.visibleAtStart) << d.name;
        EXPECT_EQ(w.Bounds(d.id), d.rect) << d.name;
    }
    if (dpi == 96) {  // worked out by hand: LblBaza inside FramBaza, the cancel button
        EXPECT_EQ(TypeParam::Place(w, Control::LblBaza), (PixelRect{10, 42, 393, 21}));
        EXPECT_EQ(TypeParam::Place(w, Control::CmdAkcija1), (PixelRect{344, 232, 63, 21}));
    }
}

TYPED_TEST_P(MainWindowContract, KeepsTextsAsSetAndShowsWindowsLineEndsAsLines) {
    const std::string warning =
        "\r\nP O Z O R !!\r\n\r\nPrije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.";
    EXPECT_EQ(this->Shown(Control::FrmGlavna), this->kTitle);
    this->window->SetText(Control::LblPozor, warning);
    this->window->SetText(Control::FrmGlavna, "Naslov čćžšđ");
    this->window->ApplyPending();
    EXPECT_EQ(this->window->Text(Control::LblPozor), warning);
    EXPECT_EQ(this->Shown(Control::LblPozor),
              "\nP O Z O R !!\n\nPrije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.");
    EXPECT_EQ(this->Shown(Control::FrmGlavna), "Naslov čćžšđ");
}

TYPED_TEST_P(MainWindowContract, AppendedTextsShowAsIfSetWhole) {
    // Appends after a set, one of them with its CR LF split between two appends, one kept while
    // the caret was asked to the end, and a set that replaces them all.
    auto& w = *this->window;
    w.SetText(Control::TxtRez, "Spajam se...");
    w.AppendText(Control::TxtRez, "\r\nVerzije na raspolaganju :");
    w.ApplyPending();
    w.AppendText(Control::TxtRez, "Tn_315_316.cab / 700, \r");
    w.ApplyPending();
    w.AppendText(Control::TxtRez, "\nIzabrana čćžšđ");
    w.SetCaretToEnd(Control::TxtRez);
    w.ApplyPending();
    EXPECT_EQ(w.Text(Control::TxtRez),
              "Spajam se...\r\nVerzije na raspolaganju :Tn_315_316.cab / 700, \r\nIzabrana čćžšđ");
    EXPECT_EQ(this->Shown(Control::TxtRez),
              "Spajam se...\nVerzije na raspolaganju :Tn_315_316.cab / 700, \nIzabrana čćžšđ");
    EXPECT_TRUE(TypeParam::CaretAtEnd(w, Control::TxtRez));
    w.SetText(Control::TxtRez, "");
    w.AppendText(Control::TxtRez, "novo");
    w.SetCaretToEnd(Control::TxtRez);
    w.ApplyPending();
    EXPECT_EQ(this->Shown(Control::TxtRez), "novo");
    EXPECT_TRUE(TypeParam::CaretAtEnd(w, Control::TxtRez));
}

TYPED_TEST_P(MainWindowContract, MovesAndShowsTheLogBoxOverTheWarning) {
    auto& w = *this->window;
    TypeParam::Show(w);
    w.Move(Control::TxtRez, w.Bounds(Control::LblPozor));
    w.SetVisible(Control::TxtRez, true);
    EXPECT_EQ(TypeParam::Place(w, Control::TxtRez),
              TypeParam::Place(w, Control::LblPozor));
    EXPECT_FALSE(TypeParam::Hidden(w, Control::TxtRez));
    EXPECT_TRUE(TypeParam::LiesAbove(w, Control::TxtRez, Control::LblPozor));
}

TYPED_TEST_P(MainWindowContract, TheProgressBarLiesAboveTheProgressLabel) {
    TypeParam::Show(*this->window);
    EXPECT_TRUE(TypeParam::LiesAbove(*this->window, Control::PrgBar, Control::LblTablica));
}

TYPED_TEST_P(MainWindowContract, ButtonsReportTheirIndex) {
    auto& w = *this->window;
    TypeParam::Show(w);
    TypeParam::ClickOn(w, Control::CmdAkcija0)();
    w.DoEvents();
    TypeParam::ClickOn(w, Control::CmdAkcija1)();
    w.DoEvents();
    EXPECT_EQ(this->clicks, (std::vector<int>{0, 1}));
}

TYPED_TEST_P(MainWindowContract, RefusesCloseRequestsFromOutsideAndClosesForTheProgram) {
    auto& w = *this->window;
    std::vector<bool> asked;
    w.SetCloseRequestHandler([&](bool byProgram) {
        asked.push_back(byProgram);
        return byProgram;
    });
    TypeParam::Show(w);
    TypeParam::AskToCloseFromOutside(w);
    EXPECT_TRUE(TypeParam::IsOpen(w));
    ASSERT_FALSE(asked.empty());
    EXPECT_THAT(asked, ::testing::Each(false));
    w.CloseWindow();
    EXPECT_FALSE(TypeParam::IsOpen(w));
    EXPECT_TRUE(asked.back());
}

TYPED_TEST_P(MainWindowContract, WithoutAHandlerOnlyTheProgramCloses) {
    TypeParam::Show(*this->window);
    TypeParam::AskToCloseFromOutside(*this->window);
    EXPECT_TRUE(TypeParam::IsOpen(*this->window));
    this->window->CloseWindow();
    EXPECT_FALSE(TypeParam::IsOpen(*this->window));
}

TYPED_TEST_P(MainWindowContract, MessageBoxesAreModalWithCroatianButtonsAndTheirTitle) {
    struct Row {
        const char* label;
        MsgIcon icon;
        MsgButtons buttons;
        std::optional<std::string> title;
        std::string shownTitle;
        std::vector<std::string> buttonTexts;
        std::string press;
        MsgAnswer answer;
    };
    const Row rows[] = {
        {"error with its own title", MsgIcon::Error, MsgButtons::Ok, "Velmora dizanje verzije.",
         "Velmora dizanje verzije.", {"U redu"}, "U redu", MsgAnswer::Ok},
        {"information without a title", MsgIcon::Information, MsgButtons::Ok, std::nullopt,
         "Tarvik_Upg", {"U redu"}, "U redu", MsgAnswer::Ok},
        {"warning", MsgIcon::Warning, MsgButtons::Ok, std::nullopt, "Tarvik_Upg", {"U redu"},
         "U redu", MsgAnswer::Ok},
        {"question answered Da", MsgIcon::Question, MsgButtons::YesNo, "IZBOR", "IZBOR",
         {"Da", "Ne"}, "Da", MsgAnswer::Yes},
        {"question answered Ne", MsgIcon::Question, MsgButtons::YesNo, "IZBOR", "IZBOR",
         {"Da", "Ne"}, "Ne", MsgAnswer::No},
        {"no icon", MsgIcon::None, MsgButtons::Ok, std::nullopt, "Tarvik_Upg", {"U redu"},
         "U redu", MsgAnswer::Ok},
    };
    TypeParam::Show(*this->window);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        typename TypeParam::BoxAnswerer answerer(*this->window, row.press, [] {});
        EXPECT_EQ(this->window->ShowMessage("Prvi redak\r\nDrugi <b>redak</b>", row.icon,
                                            row.buttons, row.title),
                  row.answer);
        const BoxSeen seen = answerer.Seen();
        ASSERT_TRUE(seen.found);
        EXPECT_TRUE(seen.modal);
        EXPECT_EQ(seen.title, row.shownTitle);
        EXPECT_THAT(seen.text, ::testing::HasSubstr("Prvi redak\nDrugi <b>redak</b>"));
        EXPECT_EQ(seen.buttons, row.buttonTexts);
        EXPECT_TRUE(TypeParam::IsOpen(*this->window));
    }
}

TYPED_TEST_P(MainWindowContract, ProgressKeepsExactNumbersAndFillsTheBarInProportion) {
    struct Row {
        const char* label;
        float max;
        float value;
        int bar;
    };
    constexpr int kSteps = RepaintThrottle::kBarSteps;
    const Row rows[] = {
        {"half", 3e6f, 1.5e6f, kSteps / 2},
        {"a quarter of a large maximum", 16777216.0f, 4194304.0f, kSteps / 4},
        {"empty", 100, 0, 0},
        {"full", 100, 100, kSteps},
        {"no maximum yet", 0, 512, 0},
        {"past the maximum: full, not wrapped", 100, 2e9f, kSteps},
    };
    for (const Row& row : rows) {
        this->window->SetProgressMax(row.max);
        this->window->SetProgressValue(row.value);
        this->window->ApplyPending();
        EXPECT_EQ(this->window->ProgressMax(), row.max) << row.label;
        EXPECT_EQ(this->window->ProgressValue(), row.value) << row.label;
        EXPECT_EQ(TypeParam::BarStep(*this->window), row.bar) << row.label;
    }
}

// The download loop: yield, read 512 bytes, set the bar and the counter, redraw the counter.
// The window keeps up with the latest values but puts them on the screen at most
// kRepaintsPerSecond times a second, and the last values arrive without another change.
TYPED_TEST_P(MainWindowContract, ADownloadsChangesReachTheScreenAtMostThirtyTimesASecond) {
    using namespace std::chrono_literals;
    auto& w = *this->window;
    w.SetVisible(Control::LblUkupno3, true);
    TypeParam::Show(w);
    typename TypeParam::ScreenUpdates counter(w, Control::LblUkupno3);
    typename TypeParam::ScreenUpdates bar(w, Control::PrgBar);
    w.SetProgressMax(1e9f);
    const auto start = std::chrono::steady_clock::now();
    int reads = 0;
    while (std::chrono::steady_clock::now() - start < 250ms) {  // however fast the machine is
        ++reads;
        w.DoEvents();
        w.SetProgressValue(static_cast<float>(reads) * 512.0f);
        w.SetText(Control::LblUkupno3, std::to_string(reads * 512));
        w.Refresh(Control::LblUkupno3);
        ASSERT_EQ(w.Text(Control::LblUkupno3), std::to_string(reads * 512));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() /
                           RepaintThrottle::kApplyInterval.count() + 2;
    EXPECT_LE(counter.Updates(), limit) << reads << " reads";
    EXPECT_LE(bar.Updates(), limit) << reads << " reads";
    EXPECT_GE(counter.Updates(), 2) << "the counter is put on the screen while the loop runs";
    // The last values come through by the timer alone (bounded wait).
    w.SetProgressMax(static_cast<float>(reads) * 512.0f);
    const std::string last = std::to_string(reads * 512);
    for (int i = 0; i < 100 && this->Shown(Control::LblUkupno3) != last; ++i) {
        TypeParam::Serve(w);
    }
    EXPECT_EQ(this->Shown(Control::LblUkupno3), last);
    EXPECT_EQ(TypeParam::BarStep(w), RepaintThrottle::kBarSteps);
}

// Without a yielding loop nothing would apply a kept change: each is painted at once.
TYPED_TEST_P(MainWindowContract, ChangesOutsideAYieldingLoopArePaintedAtOnce) {
    TypeParam::Show(*this->window);
    this->Pause();
    typename TypeParam::ScreenUpdates label(*this->window, Control::LblBaza);
    for (const char* name : {"Tarvik", "Tarvik2024", "Tarvik2025"}) {
        this->window->SetText(Control::LblBaza, name);
        this->window->Refresh(Control::LblBaza);
        EXPECT_EQ(this->Shown(Control::LblBaza), name);
    }
    EXPECT_EQ(label.Paints(), 3);
}

// A download's loop: a yield and two changes close together, the second one kept. A machine
// that stalls between them applies both at once; then the loop goes round again. Gives the
// latest text, which the screen does not show yet.
template <typename Window, typename Traits>
std::string KeepAChange(Window& window) {
    std::string latest;
    for (int round = 0;
         round < 20 && (latest.empty() || Traits::Shown(window, Control::LblBaza) == latest);
         ++round) {
        latest = "Tarvik" + std::to_string(2024 + round);
        window.DoEvents();
        window.SetText(Control::LblBaza, "prva");
        window.SetText(Control::LblBaza, latest);
    }
    return latest;
}

TYPED_TEST_P(MainWindowContract, MessageBoxesShowKeptChangesFirst) {
    TypeParam::Show(*this->window);
    const std::string latest = KeepAChange<typename TypeParam::Window, TypeParam>(*this->window);
    ASSERT_NE(this->Shown(Control::LblBaza), latest) << "the second change was kept";
    std::string shownWithTheBox;
    typename TypeParam::BoxAnswerer answerer(*this->window, "U redu", [&] {
        shownWithTheBox = this->Shown(Control::LblBaza);
    });
    this->window->ShowMessage("Greška", MsgIcon::Error, MsgButtons::Ok, std::nullopt);
    EXPECT_TRUE(answerer.Seen().found);
    EXPECT_EQ(shownWithTheBox, latest);
}

TYPED_TEST_P(MainWindowContract, WorkOffTheWindowsThreadHasEveryViewCallRunOnTheWindowsThread) {
    main_window_contract::ThreadRecordingView recorder(*this->window);
    const std::unique_ptr<IView> view = TypeParam::ThreadView(recorder, *this->window);
    std::thread::id workThread;
    std::string readBack;
    bool errorCameBack = false;
    view->RunOffUiThread([&] {
        workThread = std::this_thread::get_id();
        view->SetText(Control::LblBaza, "Tarvik");
        readBack = view->Text(Control::LblBaza);
        view->Move(Control::TxtRez, {1, 2, 3, 4});
        view->SetProgressValue(5);
        view->DoEvents();
        try {
            view->ShowMessage("x", MsgIcon::None, MsgButtons::Ok, std::nullopt);
        } catch (const AppError& e) {
            errorCameBack = e.number() == 5;
        }
        view->RunOffUiThread([&] { view->Refresh(Control::LblBaza); });  // already off: runs
    });
    EXPECT_NE(workThread, std::this_thread::get_id());
    EXPECT_NE(workThread, std::thread::id());
    EXPECT_EQ(readBack, "Tarvik");
    EXPECT_TRUE(errorCameBack) << "an exception on the window's thread is raised in the work";
    EXPECT_THAT(recorder.threads,
                ::testing::AllOf(::testing::SizeIs(7), ::testing::Each(std::this_thread::get_id())));
}

TYPED_TEST_P(MainWindowContract, WorkOffTheWindowsThreadPassesItsFailureBack) {
    EXPECT_THROW(this->window->RunOffUiThread([] { throw AppError(7, "work", "failed"); }),
                 AppError);
}

// Work off the window's thread appends through the window's thread as well.
TYPED_TEST_P(MainWindowContract, AppendsOfWorkOffTheWindowsThreadReachTheBox) {
    const std::unique_ptr<IView> view = TypeParam::ThreadView(*this->window, *this->window);
    this->window->SetText(Control::TxtRez, "a");
    view->RunOffUiThread([&] {
        for (int i = 0; i < 50; ++i) view->AppendText(Control::TxtRez, "b");
    });
    this->window->ApplyPending();
    EXPECT_EQ(this->Shown(Control::TxtRez), "a" + std::string(50, 'b'));
}

TYPED_TEST_P(MainWindowContract, WorkOffTheWindowsThreadRefusesInputButKeepsTheWindowServed) {
    auto& w = *this->window;
    TypeParam::Show(w);
    const std::unique_ptr<IView> view = TypeParam::ThreadView(w, w);
    const std::function<void()> click = TypeParam::ClickOn(w, Control::CmdAkcija1);
    w.RunOffUiThread([&] {
        click();
        view->SetText(Control::LblTablica, "radim");  // a round trip: the window was served
        view->Refresh(Control::LblTablica);
    });
    w.DoEvents();
    EXPECT_TRUE(this->clicks.empty()) << "the click during the work was thrown away";
    EXPECT_EQ(this->Shown(Control::LblTablica), "radim");
    TypeParam::ClickOn(w, Control::CmdAkcija1)();
    w.DoEvents();
    EXPECT_EQ(this->clicks, std::vector<int>{1}) << "input after the work is served again";
}

// The database phase's failure boxes are shown while its work runs off the window's thread: the
// box takes the user's answer although the window refuses input.
TYPED_TEST_P(MainWindowContract, AMessageBoxOfWorkOffTheWindowsThreadTakesTheUsersAnswer) {
    TypeParam::Show(*this->window);
    const std::unique_ptr<IView> view = TypeParam::ThreadView(*this->window, *this->window);
    typename TypeParam::BoxAnswerer answerer(*this->window, "Ne", [] {});
    MsgAnswer answer = MsgAnswer::Yes;
    this->window->RunOffUiThread([&] {
        answer = view->ShowMessage("Nastaviti?", MsgIcon::Question, MsgButtons::YesNo, "IZBOR");
    });
    EXPECT_TRUE(answerer.Seen().found);
    EXPECT_EQ(answer, MsgAnswer::No);
}

// A download yields once per read, and a yield skips the pass of the message loop when nothing
// waits for one. A click that has arrived before a yield is still served by that very yield.
TYPED_TEST_P(MainWindowContract, AYieldServesAClickThatArrivedBeforeIt) {
    auto& w = *this->window;
    TypeParam::Show(w);
    const std::function<void()> click = TypeParam::ClickOn(w, Control::CmdAkcija1);
    for (int i = 0; i < 100; ++i) w.DoEvents();  // nothing to do, as in a download
    std::thread(click).join();
    w.DoEvents();
    EXPECT_EQ(this->clicks, std::vector<int>{1});
}

REGISTER_TYPED_TEST_SUITE_P(MainWindowContract, PlacesEveryControlOfTheDesign,
                            KeepsTextsAsSetAndShowsWindowsLineEndsAsLines,
                            AppendedTextsShowAsIfSetWhole, MovesAndShowsTheLogBoxOverTheWarning,
                            TheProgressBarLiesAboveTheProgressLabel, ButtonsReportTheirIndex,
                            RefusesCloseRequestsFromOutsideAndClosesForTheProgram,
                            WithoutAHandlerOnlyTheProgramCloses,
                            MessageBoxesAreModalWithCroatianButtonsAndTheirTitle,
                            ProgressKeepsExactNumbersAndFillsTheBarInProportion,
                            ADownloadsChangesReachTheScreenAtMostThirtyTimesASecond,
                            ChangesOutsideAYieldingLoopArePaintedAtOnce,
                            MessageBoxesShowKeptChangesFirst,
                            WorkOffTheWindowsThreadHasEveryViewCallRunOnTheWindowsThread,
                            WorkOffTheWindowsThreadPassesItsFailureBack,
                            AppendsOfWorkOffTheWindowsThreadReachTheBox,
                            WorkOffTheWindowsThreadRefusesInputButKeepsTheWindowServed,
                            AMessageBoxOfWorkOffTheWindowsThreadTakesTheUsersAnswer,
                            AYieldServesAClickThatArrivedBeforeIt);
