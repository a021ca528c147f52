// The Qt window in-process, on Qt's offscreen platform: the window contract, and what only Qt's
// window shows (its widgets, fonts, shortcuts and box icons) or does (the event loop's passes).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "platform/qt/GuiThreadView.h"
#include "platform/qt/QtEnvironment.h"
#include "platform/qt/QtMainWindow.h"
#include "platform/window/MainWindowContract.h"

namespace {

using namespace std::chrono_literals;

// One application for the whole test program, on the offscreen platform unless the caller
// chose another.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "platform_qt_window_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    PrepareQtEnvironment();  // as the program does
    new QApplication(argc, argv);  // lives to the end of the test program
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

// A left click in the middle of a widget, as the window system delivers one: the events are
// made now, on the GUI thread (a thread that posts an event must not have made it, or the GUI
// thread reads it unsynchronised); calling the result posts them, once, from any thread.
std::function<void()> PostedClick(QWidget* widget) {
    const QPointF at = widget->rect().center();
    const QPointF global = widget->mapToGlobal(at);
    auto events = std::make_shared<std::vector<std::unique_ptr<QMouseEvent>>>();
    events->push_back(std::make_unique<QMouseEvent>(QEvent::MouseButtonPress, at, global,
                                                    Qt::LeftButton, Qt::LeftButton,
                                                    Qt::NoModifier));
    events->push_back(std::make_unique<QMouseEvent>(QEvent::MouseButtonRelease, at, global,
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    return [widget, events] {
        for (auto& event : *events) QCoreApplication::postEvent(widget, event.release());
        events->clear();
    };
}

std::string Utf8(const QString& text) { return text.toStdString(); }

struct QtWindowTraits {
    using Window = QtMainWindow;

    static bool Usable() { return true; }
    static std::unique_ptr<Window> Make(const char* title, const char* appTitle) {
        EnsureApplication();
        return std::make_unique<QtMainWindow>(title, appTitle);
    }
    static void Show(Window& window) {
        window.show();
        WaitUntilPainted(window);
    }
    static void Serve(Window&) {
        QEventLoop loop;
        QTimer::singleShot(10ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    static std::string Shown(Window& window, Control c) {
        QWidget* widget = window.Widget(c);
        if (c == Control::FrmGlavna) return Utf8(window.windowTitle());
        if (auto* label = qobject_cast<QLabel*>(widget)) return Utf8(label->text());
        if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) return Utf8(box->toPlainText());
        if (auto* frame = qobject_cast<QGroupBox*>(widget)) return Utf8(frame->title());
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) return Utf8(button->text());
        return "?";
    }
    static bool CaretAtEnd(Window& window, Control c) {
        return qobject_cast<QPlainTextEdit*>(window.Widget(c))->textCursor().atEnd();
    }
    static int BarStep(Window& window) {
        return qobject_cast<QProgressBar*>(window.Widget(Control::PrgBar))->value();
    }
    static PixelRect Place(Window& window, Control c) {
        QWidget* widget = window.Widget(c);
        const QPoint at = widget->mapTo(&window, QPoint(0, 0));
        return {at.x(), at.y(), widget->width(), widget->height()};
    }
    static bool Hidden(Window& window, Control c) { return window.Widget(c)->isHidden(); }
    static bool LiesAbove(Window& window, Control a, Control) {
        QWidget* widget = window.Widget(a);
        QWidget* top = window.childAt(widget->mapTo(&window, widget->rect().center()));
        return top == widget || widget->isAncestorOf(top);
    }
    static bool IsOpen(Window& window) { return window.isVisible(); }
    static void AskToCloseFromOutside(Window& window) { window.close(); }
    static std::function<void()> ClickOn(Window& window, Control c) {
        return PostedClick(window.Widget(c));
    }
    static std::unique_ptr<IView> ThreadView(IView& inner, Window& window) {
        return std::make_unique<GuiThreadView>(inner, window);
    }

    class ScreenUpdates {
    public:
        ScreenUpdates(Window& window, Control c) : paints_(window.Widget(c)) {}
        int Paints() const { return paints_.paints; }
        int Updates() const { return paints_.paints; }

    private:
        PaintCounter paints_;
    };

    // Watches for the box from the GUI thread's timers, which the box's own loop serves, and
    // answers it with a click on the button reading `press`.
    class BoxAnswerer {
    public:
        BoxAnswerer(Window&, std::string press, std::function<void()> onShown) {
            QObject::connect(&timer_, &QTimer::timeout, [this, press, onShown] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box || !box->isVisible()) return;
                if (!seen_.found) {
                    seen_.found = true;
                    seen_.title = Utf8(box->windowTitle());
                    seen_.text = box->textFormat() == Qt::PlainText
                                     ? Utf8(box->text())
                                     : "(rich text) " + Utf8(box->text());
                    seen_.modal = box->isModal();
                    for (QAbstractButton* button : box->buttons()) {
                        seen_.buttons.push_back(Utf8(button->text()));
                        if (button->text() == QString::fromStdString(press)) {
                            PostedClick(button)();
                        }
                    }
                    std::sort(seen_.buttons.begin(), seen_.buttons.end());
                    onShown();
                } else if (++ticks_ == 300) {
                    box->done(-1);  // the click was lost: end the box, and the test fails
                }
            });
            timer_.start(10);
        }
        BoxSeen Seen() const { return seen_; }

    private:
        QTimer timer_;
        BoxSeen seen_;
        int ticks_ = 0;
    };
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, MainWindowContract, QtWindowTraits);

class QtMainWindowTest : public ::testing::Test {
protected:
    QtMainWindowTest() {
        EnsureApplication();
        window = std::make_unique<QtMainWindow>("Velmora - Podizanje više verzije - v3.0",
                                                "Tarvik_Upg");
        window->SetClickHandler([this](int index) { clicks.push_back(index); });
    }

    template <typename W>
    W* Get(Control c) const {
        return qobject_cast<W*>(window->Widget(c));
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

TEST_F(QtMainWindowTest, IsAFixedWindowOfNamedWidgetsInTheirFrames) {
    const double dpi = window->DotsPerInch();
    EXPECT_EQ(window->size(), QSize(TwipsToPixels(6210, dpi), TwipsToPixels(3885, dpi)));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the size is fixed";
    for (const ControlDesign& design : FrmGlavnaDesign()) {
        QWidget* widget = window->Widget(design.id);
        EXPECT_EQ(widget->parentWidget(), window->Widget(design.container)) << design.name;
        EXPECT_EQ(widget->objectName().toStdString(), design.name);
    }
}

TEST_F(QtMainWindowTest, ShowsTheDesignsCaptionsFontsShortcutsAndAlignment) {
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

    // After a reinstall the cancel button reads "&Kraj".
    window->SetText(Control::CmdAkcija1, "&Kraj");
    window->ApplyPending();
    EXPECT_EQ(Get<QPushButton>(Control::CmdAkcija1)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_K));
}

TEST_F(QtMainWindowTest, AHiddenProgressBarUncoversTheProgressLabel) {
    window->show();
    QWidget* bar = window->Widget(Control::PrgBar);
    QWidget* frame = window->Widget(Control::FramTablica);
    window->SetVisible(Control::PrgBar, false);
    EXPECT_EQ(frame->childAt(bar->geometry().center()), window->Widget(Control::LblTablica));
}

TEST_F(QtMainWindowTest, ADisabledButtonDoesNotClick) {
    window->SetEnabled(Control::CmdAkcija0, false);
    Get<QPushButton>(Control::CmdAkcija0)->click();
    EXPECT_TRUE(clicks.empty());
}

TEST_F(QtMainWindowTest, MessageBoxesShowTheirIcon) {
    const std::pair<MsgIcon, QMessageBox::Icon> rows[] = {
        {MsgIcon::Error, QMessageBox::Critical},       {MsgIcon::Information, QMessageBox::Information},
        {MsgIcon::Warning, QMessageBox::Warning},      {MsgIcon::Question, QMessageBox::Question},
        {MsgIcon::None, QMessageBox::NoIcon},
    };
    window->show();
    for (const auto& [icon, qtIcon] : rows) {
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = box->icon();
            box->done(0);
        });
        window->ShowMessage("x", icon, MsgButtons::Ok, std::nullopt);
        EXPECT_EQ(shown, qtIcon) << int(icon);
    }
}

// Qt delivers what is posted during a pass of its loop in the next pass, and timers as they come
// due: a yield that skips an idle pass must still serve them.
TEST_F(QtMainWindowTest, AYieldServesWhatArrivedBeforeIt) {
    window->show();
    WaitUntilPainted(*window);
    int served = 0;
    struct Row {
        const char* label;
        std::function<void()> arrive;  // one thing to serve, between two yields
    };
    const Row rows[] = {
        {"an event posted on this thread",
         [&] { QMetaObject::invokeMethod(window.get(), [&] { ++served; }, Qt::QueuedConnection); }},
        // The first yield's pass has already taken the wake-up.
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
        for (int i = 0; i < 100; ++i) window->DoEvents();  // nothing to do, as in a download
        served = 0;
        row.arrive();
        window->DoEvents();
        EXPECT_EQ(served, 1) << row.label;
    }
}

TEST_F(QtMainWindowTest, EndProgramEndsTheProcessWithoutCloseHandlers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    window->SetCloseRequestHandler([](bool) {
        std::cerr << "close handler ran" << std::endl;
        return true;
    });
    EXPECT_EXIT(window->EndProgram(3), ::testing::ExitedWithCode(3),
                ::testing::Not(::testing::HasSubstr("close handler ran")));
}

}  // namespace
