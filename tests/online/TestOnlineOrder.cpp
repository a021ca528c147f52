// The order in which the online update changes the window and calls the internet functions and
// the file system: the start, the running log's caret, the download round, the successful end,
// and the failure handling's steps for the codes that differ in boxes and partial files.
#include <algorithm>

#include "online/OnlineFixture.h"

namespace {

using Trace = std::vector<std::string>;

class OnlineOrderTest : public OnlineFixture {
protected:
    // The trace from the first entry equal to `from` on (empty when there is none).
    Trace From(const std::string& from) const {
        const auto it = std::find(view_.trace.begin(), view_.trace.end(), from);
        return Trace(it, view_.trace.end());
    }
    // The trace from the last entry equal to `from` on.
    Trace FromLast(const std::string& from) const {
        const auto it = std::find(view_.trace.rbegin(), view_.trace.rend(), from);
        return it == view_.trace.rend() ? Trace{} : Trace(std::prev(it.base()), view_.trace.end());
    }
};

// What ResetProgressDisplay does: the log emptied and hidden, then each counter hidden, the
// numbers set back to "0", each repainted.
const Trace kReset = {"text TxtRez",          "hide TxtRez",       "hide LblUkupno0",
                      "refresh LblUkupno0",   "hide LblUkupno1",   "text LblUkupno1=0",
                      "refresh LblUkupno1",   "hide LblUkupno2",   "refresh LblUkupno2",
                      "hide LblUkupno3",      "text LblUkupno3=0", "refresh LblUkupno3"};

Trace Join(std::initializer_list<Trace> parts) {
    Trace all;
    for (const Trace& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(OnlineOrderTest, SuccessfulRunStepByStep) {
    Offer("Tn_315_316.cab", 1000);
    program_.Write("Tn_315_316.cab", "kept from an earlier run");
    StartServer();
    ASSERT_TRUE(Run("3.1.5"));

    const Trace expected = Join({
        {
            // Start: the wait cursor, the log put on the warning's place, dial-up, open, connect.
            "cursor wait", "move TxtRez", "show TxtRez", "text TxtRez", "refresh TxtRez",
            "net Autodial", "net Open Velmora", "cursor appstarting",
            "net Connect velmorauser passive", "cursor appstarting",
            // "Spojio sam se...": the caret stays.
            "text TxtRez", "refresh TxtRez",
            // The listing: each line and the bare entry move the caret to the end.
            "text TxtRez", "caret TxtRez", "refresh TxtRez", "net FindFirst /Tn*.cab",
            "text TxtRez", "caret TxtRez", "refresh TxtRez",
            "text TxtRez", "caret TxtRez", "refresh TxtRez", "net Close search",
            // The choice.
            "text TxtRez", "caret TxtRez", "refresh TxtRez",
            // The download's preparation: open, log line, bar maximum, counters shown, the kept
            // file deleted, the total, the bar at 0, the local file opened.
            "net OpenFile Tn_315_316.cab", "text TxtRez", "caret TxtRez", "refresh TxtRez",
            "max 1000", "show LblUkupno0", "refresh LblUkupno0", "show LblUkupno1",
            "refresh LblUkupno1", "show LblUkupno2", "refresh LblUkupno2", "show LblUkupno3",
            "refresh LblUkupno3", "file Exists Tn_315_316.cab", "file Delete Tn_315_316.cab",
            "text LblUkupno1=1000", "value 0", "file OpenForWrite Tn_315_316.cab",
            // Two rounds: yield, read, then the bar and the counter.
            "yield", "net Read", "value 512", "text LblUkupno3=512", "refresh LblUkupno3",
            "yield", "net Read", "value 1000", "text LblUkupno3=1000", "refresh LblUkupno3",
            // Handles closed in order, then the hang-up; the installation.
            "net Close file", "net Close connection", "net Close internet", "net Hangup",
            "text TxtRez", "caret TxtRez", "refresh TxtRez", "file SetNormal Tarvik.exe",
        },
        kReset,
        {"text LblPozor=\r\nSamo još trenutak !!", "cursor default"},
    });
    EXPECT_EQ(view_.trace, expected);
}

// A silent server holds each call that waits for it up to its time-out, and an installation
// takes its time: each runs off the window's thread, so that the window keeps answering. The
// download's reads stay on the window's thread, between its yields.
TEST_F(OnlineOrderTest, EveryCallThatWaitsForTheServerOrTheDiskRunsOffTheWindowsThread) {
    Offer("Tn_315_316.cab", 1000);
    StartServer();
    view_.traceOffThread = true;
    ASSERT_TRUE(Run("3.1.5"));
    bool off = false;
    std::vector<std::string> offCalls;
    for (const std::string& entry : view_.trace) {
        if (entry == "off" || entry == "on") {
            ASSERT_NE(off, entry == "off") << "work off the thread nested or unbalanced";
            off = entry == "off";
        } else if (entry.rfind("net ", 0) == 0) {
            if (off) offCalls.push_back(entry);
            EXPECT_EQ(off, entry != "net Read" && entry.rfind("net Close", 0) != 0 &&
                               entry != "net Hangup")
                << entry;
        }
    }
    EXPECT_EQ(offCalls, (std::vector<std::string>{"net Autodial", "net Open Velmora",
                                                  "net Connect velmorauser passive",
                                                  "net FindFirst /Tn*.cab",
                                                  "net OpenFile Tn_315_316.cab"}));
    // The installation: the cabinet counted and unpacked, each off the window's thread.
    EXPECT_EQ(view_.offThreadRuns, 6);
}

TEST_F(OnlineOrderTest, ShortDownloadFailsThroughEveryStepInOrder) {
    Offer("Tn_315_316.cab", 1024);
    StartServer({"--no-size", "--truncate-after", "1000"});
    EXPECT_FALSE(Run("3.1.5"));

    // After the last round: the size check fails before the handles are closed by the download.
    const Trace expected = Join({
        {"net Read", "value 1000", "text LblUkupno3=1000", "refresh LblUkupno3",
         "cursor default", "net Hangup", "net Close file", "net Close connection",
         "net Close internet"},
        kReset,
        {"box Desila se greška kod pristupa internetu !!",
         // The partial file goes after the general box and before the bar is set back.
         "file Exists Tn_315_316.cab", "file Delete Tn_315_316.cab", "value 0",
         "box 55555/Greška kod čitanja datoteke s internet servera !!"},
    });
    EXPECT_EQ(FromLast("net Read"), expected);
}

TEST_F(OnlineOrderTest, CancelShowsOnlyTheCodeBoxAfterDeletingThePartialFile) {
    Offer("Tn_315_316.cab", 4096);
    StartServer();
    view_.onDoEvents = [&](int call) {
        if (call == 2 && state_.busy) state_.cancelRequested = true;
    };
    EXPECT_FALSE(Run("3.1.5"));

    // The read after the click is written and counted before the cancel is seen.
    const Trace expected = Join({
        {"net Read", "value 1024", "text LblUkupno3=1024", "refresh LblUkupno3",
         "cursor default", "net Hangup", "net Close file", "net Close connection",
         "net Close internet"},
        kReset,
        {"file Exists Tn_315_316.cab", "file Delete Tn_315_316.cab", "value 0",
         "box 11111/Prekinuto na zahtjev korisnika !!"},
    });
    EXPECT_EQ(FromLast("net Read"), expected);
}

TEST_F(OnlineOrderTest, NothingNewerLeavesFilesAloneAndShowsOnlyTheCodeBox) {
    Offer("Tn_316_317.cab", 100);
    program_.Write("Tn_316_317.cab", "kept from an earlier run");
    StartServer();
    view_.answers = {MsgAnswer::No};
    EXPECT_FALSE(Run("3.1.7"));

    const Trace expected = Join({
        {"box Trenutno nema novije verzije !!\r\n\r\nŽelite li ponoviti obnovu zadnje verzije ??",
         "cursor default", "net Hangup", "net Close connection", "net Close internet"},
        kReset,
        {"value 0",
         "box 22222/Trenutno za vas ne postoji viša verzija !!\r\nProvjerite za koji dan."},
    });
    EXPECT_EQ(From(expected.front()), expected);
    EXPECT_EQ(ProgramFile("Tn_316_317.cab"), "kept from an earlier run");
}

}  // namespace
