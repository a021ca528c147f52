// The window in-process on the test display (scripts/test runs ctest under Xvfb), driven with
// the pointer through the X server: the X connection's events reach the window by a thread of
// their own, which wakes the message loop up and does nothing more.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/qt/QtMainWindow.h"
#include "platform/qt/QtEnvironment.h"
#include "support/DisplayLock.h"

namespace {

using namespace std::chrono_literals;

int RunCommand(const std::string& command) { return std::system(command.c_str()); }

// A download's loop waiting on a slow server: it only yields, so nothing but the click itself
// wakes the message loop up.
TEST(FrmGlavnaOnDisplay, AClickOnOdustaniIsServedWhileADownloadYields) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display (scripts/test gives one)";
    if (RunCommand("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
    DisplayLock lock;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    PrepareQtEnvironment();  // as the program does
    int argc = 1;
    char name[] = "platform_qt_window_on_display_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    QtMainWindow window("Velmora - Podizanje više verzije - v3.0", "Tarvik_Upg");
    std::atomic<bool> cancelled = false;
    window.SetClickHandler([&](int index) { cancelled = cancelled || index == 1; });
    window.SetText(Control::CmdAkcija1, "&Odustani");
    window.SetVisible(Control::CmdAkcija1, true);
    window.ShowCentred();
    const auto shown = std::chrono::steady_clock::now() + 5s;
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) &&
           std::chrono::steady_clock::now() < shown) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_TRUE(window.windowHandle()->isExposed());

    QWidget* button = window.Widget(Control::CmdAkcija1);
    const QPoint at = button->mapTo(&window, button->rect().center());
    const std::string click = "xdotool mousemove --sync --window " +
                              std::to_string(window.winId()) + " " + std::to_string(at.x()) +
                              " " + std::to_string(at.y()) + " click 1";
    std::atomic<bool> clickSent = false;
    std::thread user([&] {
        RunCommand(click);
        clickSent = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    long yields = 0;
    while (!cancelled && std::chrono::steady_clock::now() < deadline) {
        window.DoEvents();
        ++yields;
    }
    user.join();
    EXPECT_TRUE(clickSent);
    EXPECT_TRUE(cancelled) << "the click was not served in " << yields << " yields";
}

}  // namespace
