// The database phase's sequences of window texts, boxes and commands, over a scripted server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "database/DatabaseTexts.h"
#include "database/Konekcija.h"
#include "database/SqlTexts.h"
#include "database/TargetDiscovery.h"
#include "FakeDatabase.h"
#include "PhaseHarness.h"

namespace {

const std::string kList = DatabaseListQuery();
const std::string kStates = DatabaseStatesQuery();
const std::optional<std::string> kTitle = std::string("Velmora dizanje verzije.");

class DatabasePhaseLogic : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.Ready());
        h.SetServer("(local)");
        h.SetScript({"A", "-GO-", "B", "-GO-"});
        db.results[kList] = {"ALFA", "BETA", "master2"};
        db.results[TableListQuery("ALFA")] = {"Artikli", "blag_dnev"};
        db.results[TableListQuery("BETA")] = {"BLAG_DNEV"};
        db.results[TableListQuery("master2")] = {"BLAG_DNEVX"};
    }
    PhaseHarness h;
    FakeDatabase db;
};

TEST_F(DatabasePhaseLogic, CleanRunShowsEveryTextInOrderAndEndsWithSuccess) {
    EXPECT_EQ(h.Run(db), 0);
    EXPECT_EQ(h.TextsOf(Control::LblPozor),
              (std::vector<std::string>{database_text::kConnecting, database_text::kPreparing, "",
                                        " ALFA,  ", " ALFA,   BETA,  ", database_text::kUpgrading,
                                        database_text::kFinished}));
    EXPECT_EQ(h.TextsOf(Control::LblBaza), (std::vector<std::string>{"ALFA", "BETA"}));
    EXPECT_EQ(h.TextsOf(Control::LblTablica), (std::vector<std::string>{"", "::::", "::::::::"}));
    EXPECT_EQ(h.view.cursors, (std::vector<Cursor>{Cursor::Wait, Cursor::Default}));
    EXPECT_FALSE(h.view.Enabled(Control::CmdAkcija0));
    EXPECT_FALSE(h.view.Enabled(Control::CmdAkcija1));
    EXPECT_EQ(h.view.Refreshes(Control::FrmGlavna), 1);
    EXPECT_EQ(h.view.offThreadRuns, 1);
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].text, "Podizanje verzije uspješno završeno !!");
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(h.view.messages[0].title, kTitle);
    EXPECT_EQ(h.state.programVersion, "3.0.13");
    const std::vector<std::string> expected = {
        kList, kStates, TableListQuery("ALFA"), TableListQuery("BETA"), TableListQuery("master2"),
        "USE [ALFA]", "A\r\n", "\r\nB\r\n", TranCountQuery(),
        "Update [ALFA].[dbo].[Verzija] Set Verzija = '3.0.13'",
        "USE [BETA]", "A\r\n", "\r\nB\r\n", TranCountQuery(),
        "Update [BETA].[dbo].[Verzija] Set Verzija = '3.0.13'"};
    EXPECT_EQ(db.log->commands, expected);
    ASSERT_EQ(db.log->opens.size(), 1u);
    EXPECT_EQ(db.log->opens[0].database, "master");
    EXPECT_EQ(db.log->opens[0].commandTimeoutSeconds, 60);
    EXPECT_EQ(db.log->closes, 1);
}

TEST_F(DatabasePhaseLogic, RefusedLoginShowsTheTwoBoxesThenCannotContinue) {
    db.fail = [](const std::string& what) -> std::optional<AppError> {
        if (what == "OPEN") return AppError(18456, "ODBC", "Login failed for user 'sa'.");
        return std::nullopt;
    };
    EXPECT_EQ(h.Run(db), 1);
    ASSERT_EQ(h.view.messages.size(), 3u);
    EXPECT_EQ(h.view.messages[0].text, "Dogodila se greška prilikom otvaranja baze podataka !\r\r"
                                       "Moguće da pogon baze podataka nije aktiviran.");
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(h.view.messages[0].title, std::optional<std::string>("Tarvik - greška otvaranja"));
    EXPECT_EQ(h.view.messages[1].text, "18456 / Login failed for user 'sa'.");
    EXPECT_EQ(h.view.messages[1].icon, MsgIcon::None);
    EXPECT_EQ(h.view.messages[1].title, std::nullopt);
    EXPECT_EQ(h.view.messages[2].text, "Nastavak nije moguć !!");
    EXPECT_EQ(h.view.messages[2].icon, MsgIcon::Error);
    EXPECT_EQ(h.view.messages[2].title, std::nullopt);
    EXPECT_TRUE(db.log->commands.empty());
}

TEST_F(DatabasePhaseLogic, TipServeraWithLettersFailsBeforeAnyConnection) {
    h.SetSettings("[PutBaza]\nPutBaza=x\n[TipServera]\nTipServera=abc\n");
    EXPECT_EQ(h.Run(db), 1);
    ASSERT_EQ(h.view.messages.size(), 3u);
    EXPECT_EQ(h.view.messages[1].text, "13 / Type mismatch");
    EXPECT_TRUE(db.log->opens.empty());
}

TEST_F(DatabasePhaseLogic, NoSettingsFailsAtTheFirstQueryOfTheClosedConnection) {
    h.SetSettings("");
    EXPECT_EQ(h.Run(db), 1);
    EXPECT_TRUE(db.log->opens.empty());
    EXPECT_EQ(h.TextsOf(Control::LblPozor).back(), database_text::kPreparing);
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[0].text, "Greška kod izvršenja !!");
    EXPECT_EQ(h.view.messages[0].title, kTitle);
    EXPECT_EQ(h.view.messages[1].text,
              "-2146824579/The connection cannot be used to perform this operation. It is either "
              "closed or invalid in this context.");
    EXPECT_EQ(h.view.messages[1].icon, MsgIcon::Error);
    EXPECT_EQ(db.log->closes, 0);  // the closed connection is not closed again
}

TEST_F(DatabasePhaseLogic, FailureInTheConnectionStageGivesItsOwnReport) {
    h.view.onSetText = [](Control c, const std::string& text) {
        if (c == Control::LblPozor && text == database_text::kPreparing)
            throw AppError(-5, "view", "gone");
    };
    EXPECT_EQ(h.Run(db), 1);
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[0].text, "Greška kod otvaranja servera!!");
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(h.view.messages[1].text, "-5/gone");
    EXPECT_EQ(db.log->closes, 1);
}

TEST_F(DatabasePhaseLogic, EmptyTargetListIsErrorNineAfterTheScriptIsRead) {
    db.results[kList] = {"master2"};
    EXPECT_EQ(h.Run(db), 1);
    EXPECT_EQ(h.TextsOf(Control::LblPozor).back(), database_text::kUpgrading);
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[0].text, "Greška kod izvršenja !!");
    EXPECT_EQ(h.view.messages[1].text, "9/Subscript out of range");
    EXPECT_EQ(db.log->closes, 1);
}

TEST_F(DatabasePhaseLogic, BrokenAkcijaEndsWithTheReadersMessageOnly) {
    PhaseHarness other;
    other.SetServer("(local)");
    // No upgrade file at all.
    EXPECT_EQ(other.Run(db), 1);
    ASSERT_EQ(other.view.messages.size(), 1u);
    for (const auto& c : db.log->commands) EXPECT_EQ(c.rfind("USE", 0), std::string::npos) << c;
}

TEST_F(DatabasePhaseLogic, MoreThan32767DatabasesOverflow) {
    db.results[kList] = std::vector<std::string>(32768, "X");
    EXPECT_EQ(h.Run(db), 1);
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[1].text, "6/Overflow");
    EXPECT_EQ(db.log->commands.size(), 1u);
    EXPECT_EQ(Count16(32767), 32767);
}

TEST_F(DatabasePhaseLogic, FailedBatchesAndSkippedDatabasesAreLoggedAndReportedAtTheEnd) {
    db.fail = [](const std::string& what) -> std::optional<AppError> {
        if (what == "USE [ALFA]") return AppError(942, "ODBC", "Database 'ALFA' cannot be opened.");
        if (what == "A\r\n") return AppError(102, "ODBC", "Incorrect syntax near 'A'.");
        return std::nullopt;
    };
    EXPECT_EQ(h.Run(db), 3);
    const std::vector<std::string> expected = {
        kList, kStates, TableListQuery("ALFA"), TableListQuery("BETA"), TableListQuery("master2"),
        "USE [ALFA]",
        "USE [BETA]", "A\r\n", TranCountQuery(), "\r\nB\r\n", TranCountQuery(),
        "Update [BETA].[dbo].[Verzija] Set Verzija = '3.0.13'"};
    EXPECT_EQ(db.log->commands, expected);
    EXPECT_EQ(h.TextsOf(Control::LblPozor).back(), database_text::kFinished);
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(h.view.messages[0].title, kTitle);
    EXPECT_EQ(h.view.messages[0].text,
              "Podizanje verzije završeno s greškama !!\r\n\r\nNeuspjelih naredbi: 1 (BETA).\r\n"
              "Preskočene baze (prebacivanje u bazu nije uspjelo): ALFA.\r\n\r\n"
              "Pojedinosti su zapisane u datoteci " + h.LogPath());
    const std::string log = h.LogText();
    EXPECT_NE(log.find("skipped ALFA: the switch into it failed: 942 / Database 'ALFA' cannot be opened."),
              std::string::npos) << log;
    EXPECT_NE(log.find("batch failed\tBETA, batch 1 (A): 102 / Incorrect syntax near 'A'."),
              std::string::npos) << log;
    EXPECT_NE(log.find("stamped BETA with 3.0.13"), std::string::npos) << log;
}

TEST_F(DatabasePhaseLogic, AnOnlineDatabaseWhoseTablesCannotBeReadStillEndsWithTheExecutionReport) {
    db.fail = [](const std::string& what) -> std::optional<AppError> {
        if (what == TableListQuery("BETA"))
            return AppError(916, "ODBC", "The server principal \"sa\" is not able to access the database \"BETA\".");
        return std::nullopt;
    };
    EXPECT_EQ(h.Run(db), 1);
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[0].text, "Greška kod izvršenja !!");
    EXPECT_EQ(h.view.messages[1].text.rfind("916/", 0), 0u);
    for (const auto& c : db.log->commands) EXPECT_EQ(c.rfind("USE", 0), std::string::npos) << c;
}

TEST_F(DatabasePhaseLogic, PreFlightComesAfterTheScriptIsReadAndBeforeErrorNine) {
    // The only database of the program is offline: the pre-flight names it, where the run would
    // otherwise end with error 9 as if the server held none.
    db.results[kList] = {"ALFA"};
    db.states["ALFA"] = {"ALFA", "RESTORING", "0", "MULTI_USER", ""};
    EXPECT_EQ(h.Run(db), 1);
    EXPECT_EQ(h.TextsOf(Control::LblPozor).back(), database_text::kUpgrading);
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_NE(h.view.messages[0].text.find("\r\nALFA: baza nije dostupna (stanje: RESTORING).\r\n"),
              std::string::npos) << h.view.messages[0].text;
    EXPECT_EQ(db.log->commands, (std::vector<std::string>{kList, kStates}));
    EXPECT_EQ(db.log->closes, 1);
}

TEST_F(DatabasePhaseLogic, StatementAfterTheLastSeparatorIsLoggedNotSent) {
    h.SetScript({"A", "-GO-", "SELECT lost"});
    EXPECT_EQ(h.Run(db), 0);
    for (const auto& c : db.log->commands) EXPECT_EQ(c.find("lost"), std::string::npos);
    EXPECT_NE(h.LogText().find("text after the last -GO- is never sent: SELECT lost"), std::string::npos);
}

TEST_F(DatabasePhaseLogic, UnreadableProgramFileEndsBeforeTheHourglassAndAnyConnection) {
    std::filesystem::remove(std::filesystem::path(h.LogPath()).parent_path() / "Tarvik.exe");
    EXPECT_EQ(h.Run(db), 1);
    ASSERT_EQ(h.view.messages.size(), 1u);  // the version reader's own
    EXPECT_TRUE(h.view.cursors.empty());
    EXPECT_TRUE(h.view.Enabled(Control::CmdAkcija0));
    EXPECT_TRUE(h.TextsOf(Control::LblPozor).empty());
    EXPECT_TRUE(db.log->opens.empty());
}

TEST_F(DatabasePhaseLogic, ASecondOpenClosesTheFirstConnectionBeforeOpeningAgain) {
    RunLog quiet;
    IniSettingsStore settings;
    DatabaseSession session{h.view, quiet, db, settings, "Tarvik", 60, nullptr, {}};
    ASSERT_TRUE(OpenConnection(session, "master"));
    ASSERT_TRUE(session.dbConnection->IsOpen());
    ASSERT_TRUE(OpenConnection(session, "ALFA"));
    EXPECT_EQ(db.log->closes, 1);
    ASSERT_EQ(db.log->opens.size(), 2u);
    EXPECT_EQ(db.log->opens[1].database, "ALFA");
    EXPECT_TRUE(session.dbConnection->IsOpen());
    // An empty name opens nothing, but the open connection is still closed first.
    ASSERT_TRUE(OpenConnection(session, ""));
    EXPECT_EQ(db.log->closes, 2);
    EXPECT_EQ(db.log->opens.size(), 2u);
    EXPECT_FALSE(session.dbConnection->IsOpen());
    EXPECT_TRUE(h.view.messages.empty());
}

TEST_F(DatabasePhaseLogic, WindowFailureOfTheFirstDatabaseEndsTheRunBeforeItsSwitch) {
    h.view.onSetText = [](Control c, const std::string& text) {
        if (c == Control::LblBaza && text == "ALFA") throw AppError(-7, "view", "no window");
    };
    EXPECT_EQ(h.Run(db), 1);
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[0].text, "Greška kod izvršenja !!");
    EXPECT_EQ(h.view.messages[1].text, "-7/no window");
    for (const auto& c : db.log->commands) EXPECT_EQ(c.rfind("USE", 0), std::string::npos) << c;
    EXPECT_EQ(db.log->closes, 1);
}

TEST_F(DatabasePhaseLogic, WindowFailuresOfALaterDatabaseArePassedOverStepByStep) {
    h.view.onSetText = [](Control c, const std::string& text) {
        if (c == Control::LblBaza && text == "BETA") throw AppError(-7, "view", "no window");
    };
    EXPECT_EQ(h.Run(db), 0);
    // The name could not be shown, but the trail still grows and is repainted.
    EXPECT_EQ(h.TextsOf(Control::LblTablica), (std::vector<std::string>{"", "::::", "::::::::"}));
    EXPECT_EQ(h.view.Refreshes(Control::LblTablica), 3);
    const auto& commands = db.log->commands;
    EXPECT_NE(std::find(commands.begin(), commands.end(),
                        "Update [BETA].[dbo].[Verzija] Set Verzija = '3.0.13'"),
              commands.end());
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].text, "Podizanje verzije uspješno završeno !!");
    EXPECT_NE(h.LogText().find("window update for BETA failed: -7 / no window"), std::string::npos);
}

}  // namespace
