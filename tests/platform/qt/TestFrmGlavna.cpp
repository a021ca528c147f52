// The Qt window in-process, on Qt's offscreen platform: the design as built, the message boxes,
// close requests, the kept-and-applied texts of a download, and work off the GUI thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

#include "common/AppError.h"
#include "platform/qt/QtMainWindow.h"
#include "platform/window/FrmGlavnaLayout.h"
#include "platform/qt/GuiThreadView.h"
#include "platform/qt/QtEnvironment.h"
#include "platform/window/TwipScale.h"

namespace {

using namespace std::chrono_literals;

// One application for the whole test program, on the offscreen platform unless the caller
// chose another.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "TestFrmGlavna";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrepareQtEnvironment();  // as the program does
    new QApplication(argc, argv);  // lives to the end of the test program
}

class FrmGlavnaTest : public ::testing::Test {
protected:
    FrmGlavnaTest() {
        EnsureApplication();
        window = std::make_unique<QtMainWindow>("Velmora - Podizanje više verzije - v3.0",
                                             "Tarvik_Upg");
        window->SetClickHandler([this](int index) { clicks.push_back(index); });
    }

    template <typename W>
    W* Get(Control c) const {
        return qobject_cast<W*>(window->Widget(c));
    }

    // Runs `inspect` on the next message box shown, then presses its button reading `press`.
    void AnswerNextBox(std::function<void(QMessageBox&)> inspect, QString press) {
        QTimer::singleShot(0, [inspect, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            inspect(*box);
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == press) button->click();
            }
        });
    }

    std::unique_ptr<QtMainWindow> window;
    std::vector<int> clicks;
};

TEST(TwipScale, TurnsTwipsIntoPixelsAtTheScreensDotsPerInch) {
    struct Row {
        const char* label;
        int twips;
        double dpi;
        int pixels;
    };
    const Row rows[] = {
        {"15 twips are a pixel at 96 dpi", 15, 96, 1},
        {"client width at 96 dpi", 6210, 96, 414},
        {"client height at 96 dpi", 3885, 96, 259},
        {"client width at 144 dpi", 6210, 144, 621},
        {"rounds to the nearest pixel", 3885, 120, 324},
        {"nothing stays nothing", 0, 192, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TwipsToPixels(row.twips, row.dpi), row.pixels) << row.label;
    }
}

TEST_F(FrmGlavnaTest, PlacesEveryControlOfTheDesignInItsContainer) {
    const double dpi = window->DotsPerInch();
    EXPECT_EQ(window->size(), QSize(TwipsToPixels(6210, dpi), TwipsToPixels(3885, dpi)));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the size is fixed";
    for (const ControlDesign& design : FrmGlavnaDesign()) {
        QWidget* widget = window->Widget(design.id);
        const PixelRect px = TwipsToPixels(design.rect, dpi);
        EXPECT_EQ(widget->geometry(), QRect(px.x, px.y, px.width, px.height)) << design.name;
        EXPECT_EQ(widget->parentWidget(), window->Widget(design.container)) << design.name;
        EXPECT_EQ(widget->objectName().toStdString(), design.name);
        EXPECT_EQ(window->Bounds(design.id), design.rect) << design.name;
        EXPECT_EQ(!widget->isHidden(), design.visibleAtStart) << design.name;
    }
    if (dpi == 96) {
        EXPECT_EQ(window->Widget(Control::CmdAkcija1)->geometry(), QRect(344, 232, 63, 21));
        EXPECT_EQ(window->Widget(Control::PrgBar)->geometry(), QRect(4, 16, 391, 15));
    }
}

TEST_F(FrmGlavnaTest, ShowsTheDesignsCaptionsFontsAndAlignment) {
    EXPECT_EQ(window->windowTitle(), QString("Velmora - Podizanje više verzije - v3.0"));
    EXPECT_EQ(Get<QGroupBox>(Control::FramBaza)->title(), "Baza podataka");
    EXPECT_EQ(Get<QGroupBox>(Control::FramTablica)->title(), "Progres");
    EXPECT_EQ(Get<QLabel>(Control::LblBaza)->text(), ". . .");
    EXPECT_EQ(Get<QLabel>(Control::LblUkupno0)->text(), "Ukupno  :");
    EXPECT_EQ(Get<QLabel>(Control::LblUkupno2)->text(), "Do sada :");
    EXPECT_EQ(window->Text(Control::CmdAkcija1), "&Odustani");
    EXPECT_EQ(Get<QPushButton>(Control::CmdAkcija0)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_D));
    EXPECT_EQ(Get<QPushButton>(Control::CmdAkcija1)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
    EXPECT_TRUE(Get<QLabel>(Control::LblUkupno1)->alignment() & Qt::AlignRight);
    EXPECT_TRUE(Get<QLabel>(Control::LblUkupno3)->alignment() & Qt::AlignRight);
    EXPECT_TRUE(Get<QLabel>(Control::LblVerzija)->alignment() & Qt::AlignHCenter);

    const QFont verzija = window->Widget(Control::LblVerzija)->font();
    EXPECT_TRUE(verzija.bold());
    EXPECT_DOUBLE_EQ(verzija.pointSizeF(), 8.25);
    EXPECT_TRUE(window->Widget(Control::LblPozor)->font().bold());
    EXPECT_DOUBLE_EQ(window->Widget(Control::LblBaza)->font().pointSizeF(), 9.75);
    EXPECT_DOUBLE_EQ(window->Widget(Control::LblTablica)->font().pointSizeF(), 9.75);
    EXPECT_FALSE(window->Widget(Control::CmdAkcija0)->font().bold());
    EXPECT_EQ(QFontInfo(verzija).family(), "DejaVu Sans") << "fonts-dejavu-core missing?";

    auto* warning = Get<QPlainTextEdit>(Control::LblPozor);
    EXPECT_TRUE(warning->isReadOnly());
    EXPECT_EQ(warning->palette().color(QPalette::Base), warning->palette().color(QPalette::Button));
}

TEST_F(FrmGlavnaTest, KeepsTextsAsSetAndShowsWindowsLineEndsAsLines) {
    const std::string warning =
        "\r\nP O Z O R !!\r\n\r\nPrije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.";
    window->SetText(Control::LblPozor, warning);
    window->SetText(Control::CmdAkcija1, "&Kraj");
    window->ApplyPending();
    EXPECT_EQ(window->Text(Control::LblPozor), warning);
    EXPECT_EQ(Get<QPlainTextEdit>(Control::LblPozor)->toPlainText(),
              "\nP O Z O R !!\n\nPrije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.");
    EXPECT_EQ(Get<QPushButton>(Control::CmdAkcija1)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_K));
}

TEST_F(FrmGlavnaTest, AppendedTextsShowAsIfSetWhole) {
    // Appends after a set, one of them with its CR LF split between two appends, and a set
    // that replaces them all.
    auto* log = Get<QPlainTextEdit>(Control::TxtRez);
    window->SetText(Control::TxtRez, "Spajam se...");
    window->AppendText(Control::TxtRez, "\r\nVerzije na raspolaganju :");
    window->ApplyPending();
    window->AppendText(Control::TxtRez, "Tn_315_316.cab / 700, \r");
    window->ApplyPending();
    window->AppendText(Control::TxtRez, "\nIzabrana");
    window->ApplyPending();
    EXPECT_EQ(window->Text(Control::TxtRez),
              "Spajam se...\r\nVerzije na raspolaganju :Tn_315_316.cab / 700, \r\nIzabrana");
    EXPECT_EQ(log->toPlainText(),
              "Spajam se...\nVerzije na raspolaganju :Tn_315_316.cab / 700, \nIzabrana");
    window->SetText(Control::TxtRez, "");
    window->AppendText(Control::TxtRez, "novo");
    window->SetCaretToEnd(Control::TxtRez);
    window->ApplyPending();
    EXPECT_EQ(log->toPlainText(), "novo");
    EXPECT_EQ(log->textCursor().position(), 4);
}

TEST_F(FrmGlavnaTest, MovesAndShowsTheLogBoxOverTheWarning) {
    window->show();
    window->Move(Control::TxtRez, window->Bounds(Control::LblPozor));
    window->SetVisible(Control::TxtRez, true);
    QWidget* log = window->Widget(Control::TxtRez);
    EXPECT_EQ(log->geometry(), window->Widget(Control::LblPozor)->geometry());
    QWidget* top = window->childAt(log->geometry().center());
    EXPECT_TRUE(top == log || log->isAncestorOf(top)) << "TxtRez lies above LblPozor";
}

TEST_F(FrmGlavnaTest, TheProgressBarLiesAboveTheProgressLabel) {
    window->show();
    QWidget* bar = window->Widget(Control::PrgBar);
    QWidget* frame = window->Widget(Control::FramTablica);
    EXPECT_EQ(frame->childAt(bar->geometry().center()), bar);
    window->SetVisible(Control::PrgBar, false);
    EXPECT_EQ(frame->childAt(bar->geometry().center()), window->Widget(Control::LblTablica));
}

TEST_F(FrmGlavnaTest, ButtonsReportTheirIndex) {
    Get<QPushButton>(Control::CmdAkcija0)->click();
    Get<QPushButton>(Control::CmdAkcija1)->click();
    window->SetEnabled(Control::CmdAkcija0, false);
    Get<QPushButton>(Control::CmdAkcija0)->click();  // a disabled button does not click
    EXPECT_EQ(clicks, (std::vector<int>{0, 1}));
}

TEST_F(FrmGlavnaTest, RefusesCloseRequestsFromOutsideAndClosesForTheProgram) {
    std::vector<bool> asked;
    window->SetCloseRequestHandler([&](bool byProgram) {
        asked.push_back(byProgram);
        return byProgram;
    });
    window->show();
    EXPECT_FALSE(window->close()) << "a close request from outside is refused";
    EXPECT_TRUE(window->isVisible());
    window->CloseWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(asked, (std::vector<bool>{false, true}));
}

TEST_F(FrmGlavnaTest, WithoutAHandlerOnlyTheProgramCloses) {
    window->show();
    EXPECT_FALSE(window->close());
    window->CloseWindow();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FrmGlavnaTest, MessageBoxesAreModalWithCroatianButtonsIconAndTitle) {
    struct Row {
        const char* label;
        MsgIcon icon;
        MsgButtons buttons;
        std::optional<std::string> title;
        QMessageBox::Icon qtIcon;
        QString shownTitle;
        QStringList buttonTexts;
        QString press;
        MsgAnswer answer;
    };
    const Row rows[] = {
        {"error with its own title", MsgIcon::Error, MsgButtons::Ok, "Velmora dizanje verzije.",
         QMessageBox::Critical, "Velmora dizanje verzije.", {"U redu"}, "U redu", MsgAnswer::Ok},
        {"information without a title", MsgIcon::Information, MsgButtons::Ok, std::nullopt,
         QMessageBox::Information, "Tarvik_Upg", {"U redu"}, "U redu", MsgAnswer::Ok},
        {"warning", MsgIcon::Warning, MsgButtons::Ok, std::nullopt, QMessageBox::Warning,
         "Tarvik_Upg", {"U redu"}, "U redu", MsgAnswer::Ok},
        {"question answered Da", MsgIcon::Question, MsgButtons::YesNo, "IZBOR",
         QMessageBox::Question, "IZBOR", {"Da", "Ne"}, "Da", MsgAnswer::Yes},
        {"question answered Ne", MsgIcon::Question, MsgButtons::YesNo, "IZBOR",
         QMessageBox::Question, "IZBOR", {"Da", "Ne"}, "Ne", MsgAnswer::No},
        {"no icon", MsgIcon::None, MsgButtons::Ok, std::nullopt, QMessageBox::NoIcon,
         "Tarvik_Upg", {"U redu"}, "U redu", MsgAnswer::Ok},
    };
    window->show();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        bool inspected = false;
        AnswerNextBox(
            [&](QMessageBox& box) {
                inspected = true;
                EXPECT_TRUE(box.isModal());
                EXPECT_EQ(box.icon(), row.qtIcon);
                EXPECT_EQ(box.windowTitle(), row.shownTitle);
                EXPECT_EQ(box.text(), "Prvi redak\nDrugi <b>redak</b>");
                EXPECT_EQ(box.textFormat(), Qt::PlainText);
                QStringList texts;
                for (QAbstractButton* button : box.buttons()) texts.push_back(button->text());
                texts.sort();
                EXPECT_EQ(texts, row.buttonTexts);
            },
            row.press);
        const MsgAnswer answer =
            window->ShowMessage("Prvi redak\r\nDrugi <b>redak</b>", row.icon, row.buttons,
                                row.title);
        EXPECT_TRUE(inspected);
        EXPECT_EQ(answer, row.answer);
    }
}

TEST_F(FrmGlavnaTest, ProgressKeepsExactNumbersAndFillsTheBarInProportion) {
    struct Row {
        const char* label;
        float max;
        float value;
        int bar;
    };
    const Row rows[] = {
        {"half", 3e6f, 1.5e6f, QtMainWindow::kBarSteps / 2},
        {"empty", 100, 0, 0},
        {"full", 100, 100, QtMainWindow::kBarSteps},
        {"no maximum yet", 0, 512, 0},
        {"past the maximum", 100, 150, QtMainWindow::kBarSteps},
    };
    auto* bar = Get<QProgressBar>(Control::PrgBar);
    for (const Row& row : rows) {
        window->SetProgressMax(row.max);
        window->SetProgressValue(row.value);
        window->ApplyPending();
        EXPECT_EQ(window->ProgressMax(), row.max) << row.label;
        EXPECT_EQ(window->ProgressValue(), row.value) << row.label;
        EXPECT_EQ(bar->value(), row.bar) << row.label;
    }
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Serves the event loop until the window is on the screen and painted (bounded).
void WaitUntilPainted(QWidget& window) {
    PaintCounter paints(&window);
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while ((paints.paints == 0 || !window.windowHandle() || !window.windowHandle()->isExposed()) &&
           std::chrono::steady_clock::now() < deadline) {
        window.update();
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// The download loop: yield, read 512 bytes, set the bar and the counter, redraw the counter.
// The window keeps up with the latest values but paints at most kRepaintsPerSecond times a
// second, and the last values arrive without another change.
TEST_F(FrmGlavnaTest, ADownloadsChangesReachTheScreenAtMostThirtyTimesASecond) {
    window->show();
    auto* bar = Get<QProgressBar>(Control::PrgBar);
    auto* counter = Get<QLabel>(Control::LblUkupno3);
    window->SetVisible(Control::LblUkupno3, true);
    WaitUntilPainted(*window);
    PaintCounter counterPaints(counter);
    PaintCounter barPaints(bar);
    // Reads for a quarter of a second, however fast the machine is.
    constexpr auto kDuration = 250ms;
    window->SetProgressMax(1e9f);
    const auto start = std::chrono::steady_clock::now();
    int reads = 0;
    while (std::chrono::steady_clock::now() - start < kDuration) {
        ++reads;
        window->DoEvents();
        window->SetProgressValue(static_cast<float>(reads) * 512.0f);
        window->SetText(Control::LblUkupno3, std::to_string(reads * 512));
        window->Refresh(Control::LblUkupno3);
        ASSERT_EQ(window->Text(Control::LblUkupno3), std::to_string(reads * 512));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() /
                           (1000 / QtMainWindow::kRepaintsPerSecond) + 2;
    EXPECT_LE(counterPaints.paints, limit) << reads << " reads";
    EXPECT_LE(barPaints.paints, limit) << reads << " reads";
    EXPECT_GE(counterPaints.paints, 2) << "the counter is painted while the loop runs";
    // The last values come through by the timer alone.
    window->SetProgressMax(static_cast<float>(reads) * 512.0f);
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while (counter->text() != QString::number(reads * 512) &&
           std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(counter->text(), QString::number(reads * 512));
    EXPECT_EQ(bar->value(), QtMainWindow::kBarSteps);
}

// Without a yielding loop nothing would apply a kept change: it is painted at once.
TEST_F(FrmGlavnaTest, ChangesOutsideAYieldingLoopArePaintedAtOnce) {
    window->show();
    QApplication::processEvents();
    auto* label = Get<QLabel>(Control::LblBaza);
    PaintCounter paints(label);
    for (const char* name : {"Tarvik", "Tarvik2024", "Tarvik2025"}) {
        window->SetText(Control::LblBaza, name);
        window->Refresh(Control::LblBaza);
        EXPECT_EQ(label->text(), name);
    }
    EXPECT_EQ(paints.paints, 3);
}

TEST_F(FrmGlavnaTest, RefreshAndMessageBoxesShowKeptChangesFirst) {
    window->show();
    window->SetText(Control::LblBaza, "prva");
    window->SetText(Control::LblBaza, "Tarvik2024");  // close after the first: kept
    window->Refresh(Control::LblBaza);
    EXPECT_EQ(Get<QLabel>(Control::LblBaza)->text(), "Tarvik2024");
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

    QtMainWindow* window = nullptr;
    mutable std::vector<QThread*> threads;

private:
    void Note() const { threads.push_back(QThread::currentThread()); }
    std::string text_;
};

TEST_F(FrmGlavnaTest, WorkOffTheGuiThreadHasEveryViewCallRunOnTheGuiThread) {
    ThreadRecordingView recorder;
    recorder.window = window.get();
    GuiThreadView view(recorder, *window);
    std::thread::id workThread;
    std::string readBack;
    bool errorCameBack = false;
    view.RunOffUiThread([&] {
        workThread = std::this_thread::get_id();
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
    EXPECT_NE(workThread, std::this_thread::get_id());
    EXPECT_EQ(readBack, "Tarvik");
    EXPECT_TRUE(errorCameBack) << "an exception on the GUI thread is raised in the work";
    ASSERT_EQ(recorder.threads.size(), 7u);
    for (QThread* thread : recorder.threads) EXPECT_EQ(thread, QApplication::instance()->thread());
}

TEST_F(FrmGlavnaTest, WorkOffTheGuiThreadPassesItsFailureBack) {
    EXPECT_THROW(window->RunOffUiThread([] { throw AppError(7, "work", "failed"); }), AppError);
}

// Posts a mouse click on a widget, as the window system delivers one.
// The two events of a click in the middle of the widget, made on the GUI thread (they read its
// geometry); QCoreApplication::postEvent takes them, from any thread.
std::array<QMouseEvent*, 2> ClickEvents(QWidget* widget) {
    const QPointF at = widget->rect().center();
    const QPointF global = widget->mapToGlobal(at);
    return {new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier),
            new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier)};
}

void PostClick(QWidget* widget) {
    for (QMouseEvent* event : ClickEvents(widget)) QCoreApplication::postEvent(widget, event);
}

TEST_F(FrmGlavnaTest, WorkOffTheGuiThreadRefusesInputButKeepsTheWindowServed) {
    window->show();
    QWidget* cancel = window->Widget(Control::CmdAkcija1);
    PostClick(cancel);
    QApplication::processEvents();
    ASSERT_EQ(clicks, std::vector<int>{1}) << "a posted click is a click";

    GuiThreadView view(*window, *window);
    const auto click = ClickEvents(cancel);
    window->RunOffUiThread([&] {
        for (QMouseEvent* event : click) QCoreApplication::postEvent(cancel, event);
        view.SetText(Control::LblTablica, "radim");  // a blocking round trip: the click was served
        view.Refresh(Control::LblTablica);
    });
    QApplication::processEvents();
    EXPECT_EQ(clicks, std::vector<int>{1}) << "the click during the work was thrown away";
    EXPECT_EQ(Get<QLabel>(Control::LblTablica)->text(), "radim");
}

// A download yields once per read, and a yield skips the pass of the message loop when nothing
// waits for one. Whatever has arrived before a yield is still served by that very yield.
TEST_F(FrmGlavnaTest, AYieldServesWhatArrivedBeforeIt) {
    window->show();
    WaitUntilPainted(*window);
    QWidget* cancel = window->Widget(Control::CmdAkcija1);
    cancel->setVisible(true);
    const QPointF at = cancel->rect().center();
    const QPointF global = cancel->mapToGlobal(at);
    int served = 0;  // by the posted events and the timer; the click is in `clicks`
    struct Row {
        const char* label;
        std::function<void()> arrive;  // one thing to serve, between two yields
    };
    const Row rows[] = {
        {"a click on \"&Odustani\" posted by another thread",
         [&] {
             std::thread([&] {
                 QCoreApplication::postEvent(
                     cancel, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                             Qt::LeftButton, Qt::NoModifier));
                 QCoreApplication::postEvent(
                     cancel, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                             Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
             }).join();
         }},
        {"an event posted on this thread",
         [&] { QMetaObject::invokeMethod(window.get(), [&] { ++served; }, Qt::QueuedConnection); }},
        // Qt delivers what is posted during a pass in the next pass; the first yield's pass has
        // already taken the wake-up.
        {"an event posted while a yield delivered another",
         [&] {
             QMetaObject::invokeMethod(
                 window.get(),
                 [&] {
                     QMetaObject::invokeMethod(window.get(), [&] { ++served; },
                                               Qt::QueuedConnection);
                 },
                 Qt::QueuedConnection);
             window->DoEvents();
         }},
        {"a timer that has come due",
         [&] {
             QTimer::singleShot(3ms, Qt::PreciseTimer, window.get(), [&] { ++served; });
             const auto due = std::chrono::steady_clock::now() + 3ms;
             while (std::chrono::steady_clock::now() < due) {
             }
         }},
    };
    for (const Row& row : rows) {
        // Yields with nothing to do first, as in the middle of a download.
        for (int i = 0; i < 100; ++i) window->DoEvents();
        served = 0;
        clicks.clear();
        row.arrive();
        window->DoEvents();
        EXPECT_EQ(served + static_cast<int>(clicks.size()), 1) << row.label;
    }
}

// The database phase's failure boxes are shown while its work runs off the GUI thread: the box
// takes the user's click although the window refuses input.
TEST_F(FrmGlavnaTest, AMessageBoxOfWorkOffTheGuiThreadTakesTheUsersClick) {
    window->show();
    QTimer clicker;
    bool posted = false;
    int ticks = 0;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (!posted) {
            posted = true;
            PostClick(box->button(QMessageBox::No));
        } else if (++ticks == 300) {
            box->done(QMessageBox::Yes);  // the click was lost: end the box, and the test fails
        }
    });
    clicker.start(10);
    GuiThreadView view(*window, *window);
    MsgAnswer answer = MsgAnswer::Yes;
    window->RunOffUiThread([&] {
        answer = view.ShowMessage("Nastaviti?", MsgIcon::Question, MsgButtons::YesNo, "IZBOR");
    });
    EXPECT_TRUE(posted);
    EXPECT_EQ(answer, MsgAnswer::No);
}

TEST_F(FrmGlavnaTest, EndProgramEndsTheProcessWithoutCloseHandlers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    window->SetCloseRequestHandler([](bool) {
        std::cerr << "close handler ran" << std::endl;
        return true;
    });
    EXPECT_EXIT(window->EndProgram(3), ::testing::ExitedWithCode(3),
                ::testing::Not(::testing::HasSubstr("close handler ran")));
}

}  // namespace
