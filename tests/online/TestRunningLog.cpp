// The running log of a huge listing: its texts in order, at a cost that grows with the text
// and not with its square (bytes that pass between the log and the window, not time).
#include <gtest/gtest.h>

#include <string>

#include "online/RunningLog.h"
#include "platform/HeadlessView.h"

namespace {

// Counts the bytes of every text that crosses the view's interface, either way.
class ByteCountingView : public HeadlessView {
public:
    void SetText(Control c, const std::string& text) override {
        moved += text.size();
        HeadlessView::SetText(c, text);
    }
    std::string Text(Control c) const override {
        std::string text = HeadlessView::Text(c);
        moved += text.size();
        return text;
    }
    void AppendText(Control c, const std::string& text) override {
        moved += text.size();
        HeadlessView::AppendText(c, text);
    }
    MsgAnswer ShowMessage(const std::string&, MsgIcon, MsgButtons,
                          const std::optional<std::string>&) override {
        return MsgAnswer::Ok;
    }
    [[noreturn]] void EndProgram(int exitCode) override { throw ProgramEnded{exitCode}; }

    mutable std::size_t moved = 0;
};

TEST(RunningLogTest, HugeListingCostsLinearBytesAndKeepsTheTextsInOrder) {
    for (const int cabinets : {16000, 40000}) {
        SCOPED_TRACE(cabinets);
        ByteCountingView view;
        RunningLog log(view);
        log.Show("Spajam se na Velmora internet server...");
        log.AppendLine("Verzije na raspolaganju :");
        std::string expected = "Spajam se na Velmora internet server...\r\nVerzije na raspolaganju :";
        for (int i = 0; i < cabinets; ++i) {
            const std::string entry = "Tn_315_316_" + std::to_string(i) + ".cab / 1024, ";
            log.AppendBare(entry);
            expected += entry;
        }
        log.AppendLine("Izabrana vezija za vas je Tn_315_316_0.cab");
        expected += "\r\nIzabrana vezija za vas je Tn_315_316_0.cab";

        EXPECT_EQ(view.HeadlessView::Text(Control::TxtRez), expected);
        // Each text once on its way in; copying the whole text per entry would be ~n/2 times it.
        EXPECT_LE(view.moved, 2 * expected.size());
    }
}

}  // namespace
