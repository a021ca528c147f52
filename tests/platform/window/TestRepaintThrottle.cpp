// The repaint throttle over a screen that records what it was given: whatever a program does,
// a change the throttle keeps back always has a timer to show it, so the last text and progress
// of a download or a listing reach the screen.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>

#include "platform/window/RepaintThrottle.h"

namespace {

class RecordingScreen : public RepaintThrottle::Screen {
public:
    void ShowText(Control c, const std::string& text) override { shown[Index(c)] = text; }
    void ShowAppended(Control c, const std::string& tail) override { shown[Index(c)] += tail; }
    void ShowCaretAtEnd(Control) override {}
    void ShowProgress(int barStep) override { bar = barStep; }
    bool StartTimer(std::chrono::milliseconds) override { return timer = true; }
    void StopTimer() override { timer = false; }
    bool YieldedLately() const override { return yielded; }

    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }
    std::string Shown(Control c) const { return shown[Index(c)]; }

    std::array<std::string, kControlCount> shown;
    int bar = 0;
    bool timer = false;
    bool yielded = false;
};

struct Case {
    const char* label;
    bool yielding;  // the program turns the message loop between the changes
    bool workOff;   // work runs off the window's thread
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.label; }

class RepaintThrottleTest : public ::testing::TestWithParam<Case> {};

TEST_P(RepaintThrottleTest, AKeptChangeAlwaysHasATimerToShowIt) {
    RecordingScreen screen;
    RepaintThrottle throttle(screen);
    screen.yielded = GetParam().yielding;
    throttle.SetWorkOffThread(GetParam().workOff);
    throttle.SetProgressMax(1e6f);
    throttle.SetText(Control::TxtRez, "Verzije na raspolaganju :");
    for (int i = 1; i <= 500; ++i) {
        throttle.SetText(Control::LblUkupno3, std::to_string(i * 512));
        throttle.SetProgressValue(static_cast<float>(i) * 2000.0f);
        // The last change of all is an addition, not redrawn.
        throttle.AppendText(Control::TxtRez, " Tn_" + std::to_string(i) + ".cab,");
        throttle.SetCaretToEnd(Control::TxtRez);
    }
    const bool allShown = screen.Shown(Control::TxtRez) == throttle.Text(Control::TxtRez) &&
                          screen.Shown(Control::LblUkupno3) == "256000" &&
                          screen.bar == RepaintThrottle::kBarSteps;
    EXPECT_TRUE(allShown || screen.timer) << "kept back with nothing to show it";
    if (screen.timer) {  // the timer fires
        screen.timer = false;
        throttle.ApplyPending();
    }
    EXPECT_EQ(screen.Shown(Control::TxtRez), throttle.Text(Control::TxtRez));
    EXPECT_EQ(screen.Shown(Control::LblUkupno3), "256000");
    EXPECT_EQ(screen.bar, RepaintThrottle::kBarSteps);
    EXPECT_FALSE(throttle.AnyTextPending());
}

INSTANTIATE_TEST_SUITE_P(Loops, RepaintThrottleTest,
                         ::testing::Values(Case{"a loop that yields", true, false},
                                           Case{"a listing that never yields", false, false},
                                           Case{"work off the window's thread", false, true}),
                         [](const ::testing::TestParamInfo<Case>& row) {
                             return std::string(row.param.yielding  ? "Yielding"
                                                : row.param.workOff ? "WorkOffThread"
                                                                    : "NotYielding");
                         });

}  // namespace
