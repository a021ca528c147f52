// The online update against a real FTP server on loopback: the conversation, the running log,
// the choice of the cabinet, the download loop and the window afterwards.
#include <algorithm>

#include "online/OnlineFixture.h"

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Index of the first line that starts with `prefix`, or -1.
int IndexOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
}

class OnlineUpdateTest : public OnlineFixture {};

// Protects a successful run's whole course as the user sees it: the log over the warning, the
// cursors, Tarvik.exe made writable, the handles closed and the hang-up last, the window reset.
TEST_F(OnlineUpdateTest, DownloadsTheCabinetThatUpgradesFromTheInstalledVersion) {
    Offer("Tn_314_315.cab", 700);
    const std::string wanted = Offer("Tn_315_316.cab", 1024);
    Offer("Tn_316_317.cab", 900);
    StartServer({"--order", "Tn_314_315.cab,Tn_315_316.cab,Tn_316_317.cab"});
    std::filesystem::permissions(program_.path() / "Tarvik.exe", std::filesystem::perms::owner_read);

    ASSERT_TRUE(Run("3.1.5"));

    EXPECT_EQ(ProgramFile("Tn_315_316.cab"), wanted);  // kept after the installation
    EXPECT_EQ(RunningLogText(),
              "Spajam se na Velmora internet server...\r\n"
              "Spojio sam se...\r\n"
              "Tražim eventualnu novu verziju programa za vas...\r\n"
              "Verzije na raspolaganju :Tn_314_315.cab / 700, Tn_315_316.cab / 1024, "
              "Tn_316_317.cab / 900, \r\n"
              "Izabrana vezija za vas je Tn_315_316.cab\r\n"
              "Skidam program Tn_315_316.cab, pričekajte trenutak ...\r\n"
              "Vršim instalaciju datoteke Tn_315_316.cab, pričekajte trenutak ...");
    // 1,024 bytes take three reads: 512, 512 and the empty one that ends the file.
    EXPECT_EQ(net_.reads, 3);
    EXPECT_GE(view_.doEventsCalls, 3);  // a yield before each read, more while data is late
    EXPECT_EQ(view_.ProgressMax(), 1024.0f);
    EXPECT_EQ(view_.ProgressValue(), 1024.0f);

    // The cabinet object: the full local path, the count, then everything unpacked.
    EXPECT_EQ(cabinet.calls, (std::vector<std::string>{
                                 "CabName " + (program_.path() / "Tn_315_316.cab").string(),
                                 "FileCount", "Extract"}));
    EXPECT_FALSE(state_.endAfterInstall);
    EXPECT_FALSE(state_.reinstallChosen);
    const auto perms = std::filesystem::status(program_.path() / "Tarvik.exe").permissions();
    EXPECT_NE(perms & std::filesystem::perms::owner_write, std::filesystem::perms::none);

    // The window after success.
    EXPECT_TRUE(view_.messages.empty());
    ExpectDisplayReset();
    EXPECT_EQ(view_.Text(Control::LblPozor), "\r\nSamo još trenutak !!");
    EXPECT_EQ(view_.Bounds(Control::TxtRez), view_.Bounds(Control::LblPozor));
    // The wait cursor, the busy one while connecting, the arrow at the end.
    EXPECT_EQ(view_.cursors.front(), Cursor::Wait);
    EXPECT_TRUE(std::count(view_.cursors.begin(), view_.cursors.end(), Cursor::AppStarting));
    EXPECT_EQ(view_.cursors.back(), Cursor::Default);

    // Handles: the search closed after the listing, then file, connection, internet.
    EXPECT_EQ(net_.CloseOrder(),
              (std::vector<std::string>{"search", "file", "connection", "internet"}));
    EXPECT_EQ(net_.calls.front(), "Autodial");
    EXPECT_EQ(net_.calls.back(), "Hangup");  // after the last handle was closed
    EXPECT_TRUE(Contains(net_.calls, "Connect velmorauser passive"));
    EXPECT_TRUE(Contains(net_.calls, "FindFirst /Tn*.cab"));
}

TEST_F(OnlineUpdateTest, SpeaksPassiveBinaryFtpWithTheFixedAccount) {
    Offer("Tn_315_316.cab", 1000);
    StartServer();
    ASSERT_TRUE(Run("3.1.5"));

    const auto commands = Commands();
    EXPECT_EQ(commands.at(0), "USER velmorauser");
    EXPECT_EQ(commands.at(1), "PASS QxmPl47Tzd");
    for (const auto& c : commands) {
        EXPECT_NE(c.rfind("PORT", 0), 0u) << "active mode used";
        EXPECT_NE(c.rfind("EPRT", 0), 0u) << "active mode used";
    }
    const int list = IndexOf(commands, "LIST");
    const int retr = IndexOf(commands, "RETR Tn_315_316.cab");
    ASSERT_GE(list, 0);
    ASSERT_GT(retr, list);
    // Each data transfer is preceded by a passive request, the download by binary type.
    const auto passiveBefore = [&](std::size_t at) {
        for (std::size_t back = 1; back <= 4 && back <= at; ++back) {
            const std::string& command = commands[at - back];
            if (command == "EPSV" || command == "PASV") return true;
        }
        return false;
    };
    EXPECT_TRUE(passiveBefore(static_cast<std::size_t>(list)));
    EXPECT_TRUE(passiveBefore(static_cast<std::size_t>(retr)));
    const int typeI = IndexOf(commands, "TYPE I");
    EXPECT_GE(typeI, list);
    EXPECT_LT(typeI, retr);
    // One login for the whole run: the control connection is reused.
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "USER velmorauser"), 1);

    // 1,000 bytes take two reads: 512 and 488, which ends the loop.
    EXPECT_EQ(net_.reads, 2);
    EXPECT_GE(view_.doEventsCalls, 2);
    EXPECT_EQ(ProgramFile("Tn_315_316.cab").size(), 1000u);
}

TEST_F(OnlineUpdateTest, CountersAndBarMoveOnEveryRead) {
    Offer("Tn_315_316.cab", 1300);
    StartServer();
    std::vector<std::string> counts;
    view_.onSetText = [&](Control c, const std::string& text) {
        if (c == Control::LblUkupno3) counts.push_back(text);
    };
    std::vector<bool> busyDuringReads;
    std::vector<float> barAtYields;
    view_.onDoEvents = [&](int) {
        busyDuringReads.push_back(state_.busy);
        // A yield while the next bytes are late shows the bar where it was.
        if (barAtYields.empty() || barAtYields.back() != view_.ProgressValue()) {
            barAtYields.push_back(view_.ProgressValue());
        }
        EXPECT_EQ(view_.Text(Control::LblUkupno1), "1300");
        EXPECT_TRUE(view_.Visible(Control::LblUkupno3));
    };
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_EQ(counts, (std::vector<std::string>{"512", "1024", "1300", "0"}));
    EXPECT_GE(busyDuringReads.size(), 3u);
    EXPECT_EQ(std::count(busyDuringReads.begin(), busyDuringReads.end(), false), 0);
    EXPECT_EQ(barAtYields, (std::vector<float>{0, 512, 1024}));
    EXPECT_EQ(view_.ProgressMax(), 1300.0f);
    EXPECT_EQ(view_.ProgressValue(), 1300.0f);
    EXPECT_GE(view_.Refreshes(Control::LblUkupno3), 3);
}

// Protects: a cabinet kept from an earlier run is deleted, and the download written anew.
TEST_F(OnlineUpdateTest, DeletesAKeptCabinetOfTheSameNameBeforeTheDownload) {
    const std::string fresh = Offer("Tn_315_316.cab", 1024);
    const std::string kept(5000, 'o');
    program_.Write("Tn_315_316.cab", kept);
    // A second name of the kept file: it keeps the old bytes only if the file was deleted, not
    // written over.
    const auto link = log_dir_.path() / "kept.cab";
    std::filesystem::create_hard_link(program_.path() / "Tn_315_316.cab", link);
    StartServer();
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_EQ(TempFolder::Read(link), kept);
    EXPECT_EQ(ProgramFile("Tn_315_316.cab"), fresh);
}

TEST_F(OnlineUpdateTest, SkipsAFolderNamedLikeACabinet) {
    OfferFolder("Tn_old.cab");
    Offer("Tn_315_316.cab", 600);
    StartServer({"--order", "Tn_old.cab,Tn_315_316.cab"});
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_NE(RunningLogText().find("Verzije na raspolaganju :Tn_315_316.cab / 600, \r\n"),
              std::string::npos)
        << RunningLogText();
    EXPECT_EQ(RunningLogText().find("Tn_old"), std::string::npos);
}

TEST_F(OnlineUpdateTest, ListsInTheServersOrderAndOnlyTheMask) {
    Offer("Tn_999_998.cab", 10);
    Offer("Tn_315_316.cab", 20);
    Offer("Tn_100_101.cab", 30);
    Offer("tn_315_316.cab", 40);  // other case: not matched by the mask
    Offer("Tn_315_316.txt", 50);
    Offer("readme.txt", 60);
    StartServer({"--order", "Tn_999_998.cab,Tn_315_316.cab,Tn_100_101.cab"});
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_NE(RunningLogText().find("Verzije na raspolaganju :Tn_999_998.cab / 10, "
                                    "Tn_315_316.cab / 20, Tn_100_101.cab / 30, \r\n"),
              std::string::npos)
        << RunningLogText();
}

TEST_F(OnlineUpdateTest, ASmallCabinetEndsTheProgramAfterInstallation) {
    Offer("Tn_315_316.cab", 512);
    StartServer();
    cabinet.fileCount = 2;
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_TRUE(state_.endAfterInstall);
}

// The choice: characters 4 to 6 against the version without dots, first match wins; otherwise
// the question about the last cabinet when its characters 8 to 10 are the version.
struct ChoiceCase {
    const char* label;
    const char* version;
    std::vector<MsgAnswer> answers;
    const char* chosen;  // nullptr: none (code 22222)
    bool asked;
    bool reinstall;
};

void PrintTo(const ChoiceCase& c, std::ostream* out) { *out << c.label; }

class OnlineChoiceTest : public OnlineFixture, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(OnlineChoiceTest, ChoosesAsTheNamesSay) {
    const ChoiceCase& c = GetParam();
    Offer("Tn_314_315.cab", 100);
    Offer("Tn_315_316.cab", 200);
    Offer("Tn-315-399.cab", 250);  // also upgrades from 3.1.5, but listed later
    Offer("Tn_316_317.cab", 300);
    StartServer({"--order", "Tn_314_315.cab,Tn_315_316.cab,Tn-315-399.cab,Tn_316_317.cab"});
    view_.answers.assign(c.answers.begin(), c.answers.end());

    const bool result = Run(c.version);

    const std::string question =
        "Trenutno nema novije verzije !!\r\n\r\nŽelite li ponoviti obnovu zadnje verzije ??";
    const bool asked = !view_.messages.empty() && view_.messages.front().text == question;
    EXPECT_EQ(asked, c.asked);
    if (asked) {
        EXPECT_EQ(view_.messages.front().title, std::optional<std::string>("IZBOR"));
        EXPECT_EQ(view_.messages.front().icon, MsgIcon::Question);
        EXPECT_EQ(view_.messages.front().buttons, MsgButtons::YesNo);
    }
    EXPECT_EQ(state_.reinstallChosen, c.reinstall);
    if (c.chosen) {
        EXPECT_TRUE(result);
        EXPECT_NE(RunningLogText().find(std::string("Izabrana vezija za vas je ") + c.chosen),
                  std::string::npos);
        EXPECT_TRUE(InProgram(c.chosen));
        EXPECT_EQ(view_.messages.size(), asked ? 1u : 0u);
    } else {
        EXPECT_FALSE(result);
        // Only the code box: no general box for "nothing newer".
        ASSERT_FALSE(view_.messages.empty());
        EXPECT_EQ(view_.messages.back().text,
                  "22222/Trenutno za vas ne postoji viša verzija !!\r\nProvjerite za koji dan.");
        EXPECT_EQ(view_.messages.size(), asked ? 2u : 1u);
        EXPECT_EQ(net_.CloseOrder(), (std::vector<std::string>{"search", "connection", "internet"}));
        ExpectDisplayReset();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Choices, OnlineChoiceTest,
    ::testing::Values(
        ChoiceCase{"upgrade_from_315", "3.1.5", {}, "Tn_315_316.cab", false, false},
        ChoiceCase{"upgrade_from_314", "3.1.4", {}, "Tn_314_315.cab", false, false},
        ChoiceCase{"at_last_version_yes", "3.1.7", {MsgAnswer::Yes}, "Tn_316_317.cab", true, true},
        ChoiceCase{"at_last_version_no", "3.1.7", {MsgAnswer::No}, nullptr, true, false},
        ChoiceCase{"newer_than_all", "3.1.9", {}, nullptr, false, false},
        ChoiceCase{"two_digit_number", "3.10.2", {}, nullptr, false, false}),
    [](const auto& test) { return std::string(test.param.label); });

}  // namespace
