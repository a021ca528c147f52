// What the user and the peers see while a run ends, whichever order the calls behind it take:
// the window, the partial file and the connection at each box, and which calls that wait for
// the server are made off the window's thread. A successful run's window, disk and handles are
// TestOnlineUpdate.cpp's.
#include <set>

#include "online/OnlineFixture.h"

namespace {

class OnlineOrderTest : public OnlineFixture {
protected:
    // The window, the disk and the connection as each box comes up.
    struct AtBox {
        std::string text;
        bool partialOnDisk;
        bool logShown;
        float bar;
        bool released;  // every handle closed and the dial-up hung up
    };
    std::vector<AtBox> boxes;

    void WatchBoxes(const std::string& download) {
        view_.onMessage = [this, download](const ScriptedView::Message& m) {
            boxes.push_back({m.text, InProgram(download), view_.Visible(Control::TxtRez),
                             view_.ProgressValue(), curl_.OpenHandles() == 0 && net_.HungUp()});
        };
    }
    // The box of a failed run's end: the window reset, the bar at 0, the connection released.
    void ExpectFailureEnd(const AtBox& box) const {
        EXPECT_FALSE(box.logShown) << box.text;
        EXPECT_EQ(box.bar, 0.0f) << box.text;
        EXPECT_TRUE(box.released) << box.text;
        EXPECT_EQ(view_.cursors.back(), Cursor::Default);
    }
};

// Protects: the calls that wait for the server run off the window's thread, the closes too (a
// silent server holds the goodbye); the download's reads and the hang-up stay on it.
TEST_F(OnlineOrderTest, EveryCallThatWaitsForTheServerOrTheDiskRunsOffTheWindowsThread) {
    Offer("Tn_315_316.cab", 1000);
    StartServer();
    std::set<std::string> off, on;
    net_.onCall = [&](const std::string& call) {
        (view_.offUiThread ? off : on).insert(call.substr(0, call.find(' ')));
    };
    // The installation's work, the cabinet counted and unpacked, runs off it too.
    cabinet.onWork = [&](const std::string& call) { (view_.offUiThread ? off : on).insert(call); };
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_EQ(off, (std::set<std::string>{"Autodial", "Close", "Connect", "Extract", "FileCount",
                                          "FindFirst", "Open", "OpenFile", "Pwd"}));
    EXPECT_EQ(on, (std::set<std::string>{"Hangup", "Read"}));
}

// Protects: a short download shows the general box while the partial file is still there, then
// deletes it and sets the bar back before the code box; the connection is released first.
TEST_F(OnlineOrderTest, ShortDownloadShowsTheGeneralBoxBeforeDeletingThePartialFile) {
    Offer("Tn_315_316.cab", 1024);
    StartServer({"--no-size", "--truncate-after", "1000"});
    WatchBoxes("Tn_315_316.cab");
    EXPECT_FALSE(Run("3.1.5"));

    ExpectBoxes(true, "55555/Greška kod čitanja datoteke s internet servera !!");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].partialOnDisk);
    EXPECT_EQ(boxes[0].bar, 1000.0f);
    EXPECT_FALSE(boxes[0].logShown);
    EXPECT_TRUE(boxes[0].released);
    EXPECT_FALSE(boxes[1].partialOnDisk);
    ExpectFailureEnd(boxes[1]);
}

// Protects: a cancel shows only the code box, after the partial file is deleted; the read under
// way when the click came is still counted.
TEST_F(OnlineOrderTest, CancelShowsOnlyTheCodeBoxAfterDeletingThePartialFile) {
    Offer("Tn_315_316.cab", 4096);
    StartServer();
    WatchBoxes("Tn_315_316.cab");
    std::vector<std::string> counts;
    view_.onSetText = [&](Control c, const std::string& text) {
        if (c == Control::LblUkupno3) counts.push_back(text);
    };
    view_.onDoEvents = [&](int) {
        if (counts == std::vector<std::string>{"512"} && state_.busy) state_.cancelRequested = true;
    };
    EXPECT_FALSE(Run("3.1.5"));

    ExpectBoxes(false, "11111/Prekinuto na zahtjev korisnika !!");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(boxes[0].partialOnDisk);
    ExpectFailureEnd(boxes[0]);
    EXPECT_EQ(counts, (std::vector<std::string>{"512", "1024", "0"}));
}

// Protects: "No" to the question leaves a kept cabinet alone and shows only the code box, with
// the window reset.
TEST_F(OnlineOrderTest, NothingNewerLeavesFilesAloneAndShowsOnlyTheCodeBox) {
    Offer("Tn_316_317.cab", 100);
    program_.Write("Tn_316_317.cab", "kept from an earlier run");
    StartServer();
    WatchBoxes("Tn_316_317.cab");
    view_.answers = {MsgAnswer::No};
    EXPECT_FALSE(Run("3.1.7"));

    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  "Trenutno nema novije verzije !!\r\n\r\nŽelite li ponoviti obnovu zadnje verzije ??",
                  "22222/Trenutno za vas ne postoji viša verzija !!\r\nProvjerite za koji dan."}));
    ASSERT_EQ(boxes.size(), 2u);
    ExpectFailureEnd(boxes[1]);
    EXPECT_EQ(ProgramFile("Tn_316_317.cab"), "kept from an earlier run");
}

}  // namespace
