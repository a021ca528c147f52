// The online update's failures, each against a real (and sometimes misbehaving) FTP server on
// loopback: the boxes the user sees, the handles closed, the flags cleared, nothing left behind.
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <chrono>

#include "online/OnlineFixture.h"

namespace {

class OnlineFaultTest : public OnlineFixture {};

// A small file system of its own (tmpfs), mounted where the test may mount one; unmounted when
// the object goes, before its folder is removed.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& options) {
        mounted_ = mount("tmpfs", folder_.str().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) umount2(folder_.str().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const TempFolder& folder() const { return folder_; }
    unsigned long long FreeBytes() const {
        struct statvfs info {};
        statvfs(folder_.str().c_str(), &info);
        return static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
    }

private:
    TempFolder folder_{"velmora-small-disk"};
    bool mounted_ = false;
};

TEST_F(OnlineFaultTest, NoInternetHandle) {
    net_.failOpen = true;
    port_ = UnusedLoopbackPort();
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "10001/Ne mogu se spojiti na internet !!");
    ExpectDisplayReset();
    EXPECT_EQ(view_.ProgressValue(), 0.0f);
}

TEST_F(OnlineFaultTest, NoServer) {
    port_ = UnusedLoopbackPort();
    EXPECT_FALSE(Run());
    ExpectBoxes(true,
                "10002/Ne mogu se spojiti na server !!\r\n"
                "Ako već niste, pokrenite Dial-Up i pokušajte ponovo.");
    EXPECT_EQ(net_.CloseOrder(), (std::vector<std::string>{"internet"}));
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, RefusedLogin) {
    Offer("Tn_315_316.cab", 100);
    StartServer({"--refuse-login"});
    EXPECT_FALSE(Run());
    ExpectBoxes(true,
                "10002/Ne mogu se spojiti na server !!\r\n"
                "Ako već niste, pokrenite Dial-Up i pokušajte ponovo.");
    EXPECT_EQ(Commands().at(0), "USER velmorauser");
}

TEST_F(OnlineFaultTest, SilentServerEndsWithinTheTimeOut) {
    StartServer({"--silent"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Run());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ExpectBoxes(true,
                "10002/Ne mogu se spojiti na server !!\r\n"
                "Ako već niste, pokrenite Dial-Up i pokušajte ponovo.");
}

TEST_F(OnlineFaultTest, NoCabinetsOffered) {
    Offer("readme.txt", 10);
    StartServer();
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "10003/Ne mogu naći tražene datoteke !!");
    EXPECT_EQ(net_.CloseOrder(), (std::vector<std::string>{"connection", "internet"}));
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, ListedNameWithAPathIsNeverWrittenOrDeleted) {
    Offer("Tn_315_316.cab", 100);
    StartServer();
    // A name that would climb out of the program folder through a folder that exists there.
    std::filesystem::create_directories(program_.path() / "Tn_315");
    const auto outside = program_.path().parent_path() / (program_.path().filename().string() + "-escape.cab");
    const std::string hostile = "Tn_315/../../" + outside.filename().string();
    std::ofstream(outside) << "a file outside the program folder";
    net_.editListing = [&](FindRecord& record) { record.fileName = hostile; };
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "9/Subscript out of range");
    EXPECT_EQ(TempFolder::Read(outside), "a file outside the program folder");
    std::filesystem::remove(outside);
}

TEST_F(OnlineFaultTest, ListingsThatNeverEndEndWithTheListingFailure) {
    // Entries as fast as the server can send them, or one every 0.1 s (always some bytes
    // moving, so no low-speed limit fires): both end as a listing that found nothing.
    for (const char* mode : {"--endless-list", "--trickle-list"}) {
        SCOPED_TRACE(mode);
        view_.messages.clear();
        Offer("Tn_315_316.cab", 700);
        StartServer({mode});
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Run());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        ExpectBoxes(true, "10003/Ne mogu naći tražene datoteke !!");
        EXPECT_FALSE(InProgram("Tn_315_316.cab"));
        ExpectDisplayReset();
    }
}

TEST_F(OnlineFaultTest, ListingThatNeverEndsIsCutInThePhaseToo) {
    // Internet functions that deliver records for ever (folders, which are never offered).
    Offer("Tn_315_316.cab", 700);
    StartServer();
    net_.endlessFolders = true;
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "10003/Ne mogu naći tražene datoteke !!");
    EXPECT_EQ(net_.CloseOrder(), (std::vector<std::string>{"search", "connection", "internet"}));
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, OnlyFoldersNamedLikeCabinets) {
    OfferFolder("Tn_315_316.cab");
    StartServer();
    EXPECT_FALSE(Run());
    // Nothing to choose from is a fault of the program, reported with its own number.
    ExpectBoxes(true, "9/Subscript out of range");
}

TEST_F(OnlineFaultTest, RemoteFileCannotBeOpened) {
    // A link to nothing: listed as an entry, but the server cannot send it.
    std::filesystem::create_symlink("gone.bin", root_.path() / "Tn_315_316.cab");
    StartServer();
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "10004/Ne mogu otvoriti datoteku za čitanje !!");
    EXPECT_EQ(net_.CloseOrder(), (std::vector<std::string>{"search", "connection", "internet"}));
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, CancelDuringTheDownloadDeletesThePartialFile) {
    Offer("Tn_315_316.cab", 64 * 1024);
    StartServer();
    // The user presses "&Odustani" while the program yields after the fourth read, as the
    // driver would handle the click: only while a download is busy.
    view_.onDoEvents = [&](int) {
        if (net_.reads == 4 && state_.busy) state_.cancelRequested = true;
    };
    EXPECT_FALSE(Run());
    ExpectBoxes(false, "11111/Prekinuto na zahtjev korisnika !!");
    EXPECT_EQ(net_.reads, 5);  // the read in progress is written and counted, then it stops
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
    EXPECT_EQ(net_.CloseOrder(), (std::vector<std::string>{"search", "file", "connection", "internet"}));
    EXPECT_EQ(view_.ProgressValue(), 0.0f);
    EXPECT_TRUE(cabinet.calls.empty());
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, CancelDeletesThePartialFileEvenWhenItCannotBeClosed) {
    Offer("Tn_315_316.cab", 64 * 1024);
    StartServer();
    files_.failClose = true;
    view_.onDoEvents = [&](int call) {
        if (call == 3 && state_.busy) state_.cancelRequested = true;
    };
    EXPECT_FALSE(Run());
    ExpectBoxes(false, "11111/Prekinuto na zahtjev korisnika !!");
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
}

TEST_F(OnlineFaultTest, DataConnectionCutMidTransfer) {
    Offer("Tn_315_316.cab", 4096);
    StartServer({"--cut-after", "1500"});
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "55555/Greška kod čitanja datoteke s internet servera !!");
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
    EXPECT_TRUE(cabinet.calls.empty());
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, TruncatedFileThatLooksCompleteFailsTheSizeCheck) {
    // Without SIZE the client cannot know; the server ends cleanly after 1,000 of 1,024 bytes.
    Offer("Tn_315_316.cab", 1024);
    StartServer({"--no-size", "--truncate-after", "1000"});
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "55555/Greška kod čitanja datoteke s internet servera !!");
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
}

TEST_F(OnlineFaultTest, EndlessDownloadStopsAtTheListedSize) {
    // No SIZE, and after the listed 4,096 bytes the server goes on sending for ever. Should the
    // client not stop, the test's disk fills up at 1 MiB and the run ends with 57 instead.
    Offer("Tn_315_316.cab", 4096);
    StartServer({"--endless-file"});
    files_.diskSpace = 1024 * 1024;
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "55555/Greška kod čitanja datoteke s internet servera !!");
    EXPECT_EQ(net_.reads, 9);  // eight reads of the listed bytes, then one too many
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
    EXPECT_TRUE(cabinet.calls.empty());
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, FullDiskDuringTheDownloadRemovesThePartialFile) {
    // A program folder on a file system of 64 KiB, and a cabinet four times that size.
    SmallDisk disk("size=64k");
    if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    context_.programFolder = disk.folder().str();
    disk.folder().Write("Tarvik.exe", "MZ program");
    const unsigned long long freeBefore = disk.FreeBytes();
    Offer("Tn_315_316.cab", 256 * 1024);
    StartServer();
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "57/Device I/O error");
    EXPECT_FALSE(std::filesystem::exists(disk.folder().path() / "Tn_315_316.cab"));
    EXPECT_EQ(disk.FreeBytes(), freeBefore);  // the space is given back
    EXPECT_TRUE(cabinet.calls.empty());
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, FailedWriteDuringTheDownloadRemovesThePartialFile) {
    // The same fault on any machine: the file system refuses the write past 3,000 bytes.
    Offer("Tn_315_316.cab", 64 * 1024);
    StartServer();
    files_.diskSpace = 3000;
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "57/Device I/O error");
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, StalledDownloadEndsWithinTheTimeOut) {
    Offer("Tn_315_316.cab", 8192);
    StartServer({"--stall-after", "2000"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Run());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ExpectBoxes(true, "55555/Greška kod čitanja datoteke s internet servera !!");
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
}

// Protects: while a download waits for bytes that do not come, the window is yielded to in
// short slices, so that it answers and a click on Odustani ends the download at once instead of
// after the stall limit.
TEST_F(OnlineFaultTest, AStalledDownloadKeepsYieldingAndTakesACancel) {
    Offer("Tn_315_316.cab", 8192);
    StartServer({"--stall-after", "2000"});
    int yieldsWhileStalled = 0;
    view_.onDoEvents = [&](int) {
        if (net_.reads < 3 || !state_.busy) return;  // 1,536 bytes read, the rest held back
        if (++yieldsWhileStalled == 5) state_.cancelRequested = true;
    };
    EXPECT_FALSE(Run());
    EXPECT_GE(yieldsWhileStalled, 5);
    ExpectBoxes(false, "11111/Prekinuto na zahtjev korisnika !!");
    EXPECT_EQ(net_.reads, 3);  // the read that would have waited was never made
    EXPECT_FALSE(InProgram("Tn_315_316.cab"));
}

TEST_F(OnlineFaultTest, ServerThatNeverAnswersTheGoodbyeDoesNotHoldTheProgram) {
    Offer("Tn_315_316.cab", 700);
    StartServer({"--mute-quit"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Run());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(Commands().back(), "QUIT");
}

TEST_F(OnlineFaultTest, DamagedCabinetLeavesTheBoxesToTheCabinetObject) {
    Offer("Tn_315_316.cab", 700);
    StartServer();
    cabinet.fileCount = 2;  // would end the program after a good installation
    cabinet.extractResult = false;
    EXPECT_FALSE(Run());
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_FALSE(state_.endAfterInstall);
    EXPECT_TRUE(InProgram("Tn_315_316.cab"));  // the cabinet stays
    ExpectDisplayReset();
}

TEST_F(OnlineFaultTest, ProgramFileMissingAtInstallation) {
    std::filesystem::remove(program_.path() / "Tarvik.exe");
    Offer("Tn_315_316.cab", 700);
    StartServer();
    EXPECT_FALSE(Run());
    ExpectBoxes(true, "53/File not found");
    EXPECT_TRUE(InProgram("Tn_315_316.cab"));  // an unexpected error leaves the download
    EXPECT_TRUE(cabinet.calls.empty());
    ExpectDisplayReset();
}

}  // namespace
