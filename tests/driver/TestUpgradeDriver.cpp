#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/Paths.h"
#include "driver/UpgradeDriver.h"
#include "support/PeFixture.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"

namespace {

const char* kBoxTitle = "Velmora dizanje verzije.";
const char* kLabelMessage = "Neispravna oznaka verzije u konfiguracijskoj datoteci ''Tarvik_Upg.upg";

// Phases scripted by the test: the online phase runs `online`, the database phase records that it
// ran and ends the program as the real one does.
class ScriptedPhases : public IUpgradePhases {
public:
    explicit ScriptedPhases(IView& view) : view_(view) {}
    bool RunOnlineUpdate() override {
        ++onlineRuns;
        return online ? online() : false;
    }
    void RunDatabaseUpgrade() override {
        ++databaseRuns;
        view_.EndProgram(0);
    }
    std::function<bool()> online;
    int onlineRuns = 0;
    int databaseRuns = 0;

private:
    IView& view_;
};

// A program folder with Tarvik.exe and an upgrade file, the driver, and its scripted world.
class DriverTest : public ::testing::Test {
protected:
    DriverTest()
        : programFolder(folder.path() / "Tarvik"),
          context{view, state, log, programFolder.string(), {}},
          phases(view),
          driver(context, phases) {
        std::filesystem::create_directories(programFolder);
    }

    void InstallProgram(const std::string& version) {
        ASSERT_TRUE(MakePeExe((programFolder / "Tarvik.exe").string(), version));
    }
    void WriteUpgradeFile(const std::string& bytes) const {
        folder.Write("Tarvik/Tarvik_Upg.Upg", bytes);
    }
    void WriteLabel(const std::string& label) const {
        WriteUpgradeFile("[Verzija]\r\n" + label + "\r\n*\r\n");
    }
    // Clicks "&Dobro"; returns the exit status when the program ended, -1 when it came back.
    int ClickDobro() {
        try {
            driver.OnClick(0);
        } catch (const ProgramEnded& ended) {
            return ended.exitCode;
        }
        return -1;
    }

    TempFolder folder;
    std::filesystem::path programFolder;
    ScriptedView view;
    WindowState state;
    RunLog log;
    UpgradeContext context;
    ScriptedPhases phases;
    UpgradeDriver driver;
};

TEST_F(DriverTest, LoadShowsTheWarningAndComputesTheSettingsName) {
    driver.OnLoad();
    EXPECT_EQ(view.Text(Control::LblPozor),
              "\r\nP O Z O R !!\r\n\r\nPrije početka rad OBAVEZNO IZVRŠITE zaštitno snimanje.");
    EXPECT_EQ(view.Text(Control::LblVerzija), "Instalacija nove verzije");
    EXPECT_EQ(context.settingsName, "Tarvik");
}

TEST(DriverSettingsName, LastComponentWithoutBlanks) {
    const std::string sep(1, kPathSeparator);
    struct Row {
        std::string folder;
        std::string expected;
    } rows[] = {
        {sep + "opt" + sep + "Tarvik", "Tarvik"},
        {sep + "opt" + sep + "  Tarvik 2 ", "Tarvik 2"},
        {sep, ""},  // a root folder ends in the separator
        {"Tarvik", "Tarvik"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(UpgradeDriver::SettingsNameFor(row.folder), row.expected) << row.folder;
    }
}

TEST_F(DriverTest, OdustaniWhileIdleClosesTheWindow) {
    driver.OnClick(1);
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(phases.onlineRuns, 0);
}

TEST(DriverClose, OnlyTheProgramMayCloseTheWindow) {
    EXPECT_TRUE(UpgradeDriver::MayClose(CloseOrigin::Program));
    for (auto origin : {CloseOrigin::User, CloseOrigin::System, CloseOrigin::TaskManager,
                        CloseOrigin::Owner}) {
        EXPECT_FALSE(UpgradeDriver::MayClose(origin));
    }
}

TEST_F(DriverTest, MissingProgramFileEndsTheProgramBeforeTheOnlinePhase) {
    EXPECT_EQ(ClickDobro(), 1);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Nije moguće odrediti verziju datoteke.");
    EXPECT_EQ(view.messages[0].title, kBoxTitle);
    EXPECT_EQ(phases.onlineRuns, 0);
    EXPECT_TRUE(view.Enabled(Control::CmdAkcija0));
}

TEST_F(DriverTest, FailedOnlinePhaseReturnsToIdle) {
    InstallProgram("3.0.0.12");
    phases.online = [&] {
        EXPECT_FALSE(view.Enabled(Control::CmdAkcija0)) << "Dobro is disabled during the run";
        return false;
    };
    EXPECT_EQ(ClickDobro(), -1);
    EXPECT_EQ(state.programVersion, "3.0.12");
    EXPECT_TRUE(view.Enabled(Control::CmdAkcija0));
    EXPECT_TRUE(view.Visible(Control::PrgBar));
    EXPECT_EQ(phases.databaseRuns, 0);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(DriverTest, TwoCancelsDuringOneDownloadActLikeOne) {
    InstallProgram("3.0.0.12");
    driver.OnLoad();
    phases.online = [&] {
        state.busy = true;
        view.onDoEvents = [&](int) {
            driver.OnClick(1);
            driver.OnClick(1);
        };
        view.DoEvents();
        state.busy = false;
        return !state.cancelRequested;
    };
    EXPECT_EQ(ClickDobro(), -1);
    EXPECT_TRUE(state.cancelRequested);
    EXPECT_FALSE(view.closed) << "a cancel during the download must not close the window";
    EXPECT_TRUE(view.Enabled(Control::CmdAkcija0));
}

TEST_F(DriverTest, SmallCabinetEndsWithSuccessWithoutTheDatabasePhase) {
    InstallProgram("3.0.0.12");
    phases.online = [&] {
        state.endAfterInstall = true;
        return true;
    };
    EXPECT_EQ(ClickDobro(), 0);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Podizanje verzije uspješno izvršeno !!");
    EXPECT_EQ(view.messages[0].icon, MsgIcon::Information);
    EXPECT_FALSE(view.messages[0].title.has_value());
    EXPECT_FALSE(view.Visible(Control::PrgBar));
    EXPECT_EQ(phases.databaseRuns, 0);
}

TEST_F(DriverTest, ReadsTheVersionAgainAfterTheCabinetReplacedTheProgram) {
    InstallProgram("3.0.0.2");
    WriteLabel("3.0.2 / 3.0.3   ");
    phases.online = [&] {
        InstallProgram("3.0.0.3");
        return true;
    };
    EXPECT_EQ(ClickDobro(), 0);
    EXPECT_EQ(phases.databaseRuns, 1);
    EXPECT_EQ(state.programVersion, "3.0.3");
    EXPECT_EQ(view.Text(Control::LblVerzija), "Prelaz s vezije 3.0.2 na 3.0.3   ");
}

struct LabelCase {
    const char* name;
    std::string upgradeFile;
    bool accepted;
    std::string versionLabel;  // when accepted
    int messages;              // boxes shown when rejected
    friend void PrintTo(const LabelCase& c, std::ostream* os) { *os << c.name; }
};

class DriverLabel : public DriverTest, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(DriverLabel, ChecksTheVersionLabel) {
    const LabelCase& c = GetParam();
    InstallProgram("3.0.0.12");
    WriteUpgradeFile(c.upgradeFile);
    phases.online = [] { return true; };
    const int exit = ClickDobro();
    if (c.accepted) {
        EXPECT_EQ(phases.databaseRuns, 1);
        EXPECT_EQ(state.versionLabel, c.versionLabel);
        EXPECT_TRUE(view.messages.empty());
        return;
    }
    EXPECT_EQ(exit, 1);
    EXPECT_EQ(phases.databaseRuns, 0);
    ASSERT_EQ(static_cast<int>(view.messages.size()), c.messages);
    EXPECT_EQ(view.messages.back().text, kLabelMessage);
    EXPECT_EQ(view.messages.back().icon, MsgIcon::Error);
    EXPECT_EQ(view.messages.back().title, kBoxTitle);
}

const LabelCase kLabels[] = {
    {"twelve_characters_rejected", "[Verzija]\r\n3.0.12 / 3.0\r\n*\r\n", false, "", 1},
    {"thirteen_characters_accepted", "[Verzija]\r\n3.0.12 / 3.13\r\n*\r\n", true, "3.0.12 / 3.13",
     0},
    {"croatian_letters_count_as_one", "[Verzija]\r\n\x9A\x9A\x9A\x9A\x9A\x9A\x9A\x9A\x9A\x9A\x9A\x9A\r\n*\r\n",
     false, "", 1},
    {"body_err_is_a_bad_label", "[Verzija]\r\nErr\r\n*\r\n", false, "", 1},
    {"missing_upgrade_file_shows_two_boxes", "", false, "", 2},
    {"leading_blanks_go_trailing_stay", "[Verzija]\r\n  3.0.12 / 3.0.13  \r\n*\r\n", true,
     "3.0.12 / 3.0.13  ", 0},
    {"several_lines_are_joined", "[Verzija]\r\n3.0.12 /\r\n 3.0.13\r\n*\r\n", true,
     "3.0.12 / 3.0.13", 0},
};

INSTANTIATE_TEST_SUITE_P(Labels, DriverLabel, ::testing::ValuesIn(kLabels),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(DriverTest, ReinstallFinishesWithoutTheDatabasePhaseAndKrajCloses) {
    InstallProgram("3.0.0.12");
    WriteLabel("3.0.11 / 3.0.12");
    phases.online = [&] {
        state.reinstallChosen = true;
        return true;
    };
    EXPECT_EQ(ClickDobro(), -1);
    EXPECT_EQ(phases.databaseRuns, 0);
    EXPECT_EQ(view.Text(Control::LblPozor), "GOTOVO !!");
    EXPECT_EQ(view.Text(Control::CmdAkcija1), "&Kraj");
    EXPECT_EQ(view.Text(Control::LblVerzija), "Prelaz s vezije 3.0.11 na 3.0.12");
    EXPECT_FALSE(view.Enabled(Control::CmdAkcija0));
    driver.OnClick(1);
    EXPECT_FALSE(state.reinstallChosen) << "every click clears the reinstall choice";
    EXPECT_TRUE(view.closed);
}

TEST_F(DriverTest, UnreadableProgramAfterInstallEndsTheProgram) {
    InstallProgram("3.0.0.12");
    WriteLabel("3.0.12 / 3.0.13");
    phases.online = [&] {
        std::filesystem::remove(programFolder / "Tarvik.exe");
        return true;
    };
    EXPECT_EQ(ClickDobro(), 1);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Nije moguće odrediti verziju datoteke.");
    EXPECT_EQ(phases.databaseRuns, 0);
}

}  // namespace
