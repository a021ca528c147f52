// The console's running log: printed as it grows, each addition once, on one line, with the
// control characters of server-given names escaped.
#include <gtest/gtest.h>

#include <sstream>

#include "app/console/ConsoleView.h"

namespace {

TEST(ConsoleViewTest, RunningLogPrintsEachAdditionOnceWithControlsEscaped) {
    std::istringstream in;
    std::ostringstream out, err;
    ConsoleView view(in, out, err);
    view.SetText(Control::TxtRez, "Spajam se na Velmora internet server...");
    view.AppendText(Control::TxtRez, "\r\nVerzije na raspolaganju :");
    view.AppendText(Control::TxtRez, "Tn_315_316\x1B]0;owned\x07.cab / 700, ");
    view.AppendText(Control::TxtRez, "");
    EXPECT_EQ(out.str(),
              "Spajam se na Velmora internet server...\n"
              "Verzije na raspolaganju :\n"
              "Tn_315_316\\x1B]0;owned\\x07.cab / 700, \n");
    EXPECT_EQ(view.Text(Control::TxtRez),
              "Spajam se na Velmora internet server...\r\nVerzije na raspolaganju :"
              "Tn_315_316\x1B]0;owned\x07.cab / 700, ");
}

}  // namespace
