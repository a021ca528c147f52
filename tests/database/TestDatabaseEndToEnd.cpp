// The database phase end to end: real settings file, real upgrade file, the real ODBC driver,
// against the TDS test server (and a real SQL Server when VELMORA_TEST_MSSQL names one).
#include <gtest/gtest.h>

#include "database/ConnectionSettings.h"
#include "database/DatabaseTexts.h"
#include "PhaseHarness.h"
#include "ServerUnderTest.h"
#include "platform/odbc/OdbcDatabase.h"

namespace {

using Strings = std::vector<std::string>;
const std::optional<std::string> kTitle = std::string("Velmora dizanje verzije.");

class DatabaseEndToEnd : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        server = GetParam() == "tds" ? ServerUnderTest::TestServer() : ServerUnderTest::RealServer();
        if (!server) GTEST_SKIP() << "VELMORA_TEST_MSSQL is not set: no real SQL Server to run against";
        ASSERT_TRUE(h.Ready());
    }
    // Loads the scenario, points the settings at the server and runs the phase.
    int Run(const Scenario& scenario, const Strings& script, int serverType = 1, int timeout = 60) {
        server->Load(scenario);
        h.SetServer(server->ServerName(), serverType);
        h.SetScript(script);
        OdbcDatabase odbc;
        return h.Run(odbc, timeout);
    }
    bool Journal() const { return server->HasJournal(); }
    // The statements after discovery (the switches, batches and stamps), as (database, text).
    std::vector<std::pair<std::string, std::string>> Executed() const {
        std::vector<std::pair<std::string, std::string>> out;
        bool started = false;
        for (const auto& s : server->Statements()) {
            started = started || s.sql.rfind("USE ", 0) == 0;
            if (started) out.emplace_back(s.database, s.sql);
        }
        return out;
    }

    std::unique_ptr<ServerUnderTest> server;
    PhaseHarness h;
};

Scenario ThreeTargets() {
    Scenario s;
    s.databases = {
        {"ZETA", 9, {"BLAG_DNEV"}, {}, Strings{"3.0.12", "3.0.11"}},
        {"ALFA", 5, {"Artikli", "blag_dnev"}, {}, Strings{"3.0.12"}},
        {"POGLED", 7, {"Artikli"}, {"BLAG_DNEV"}, Strings{"1.0.0"}},
        {"BETA", 6, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}},
        {"msdb", 4, {"BLAG_DNEV"}, {}, std::nullopt},
    };
    return s;
}

TEST_P(DatabaseEndToEnd, FindsTheTargetsInNameOrderAndRunsEveryBatchInEach) {
    const Strings script = {"CREATE TABLE Prva (a int)", "-GO-", "-GO-",
                            "INSERT INTO Prva VALUES (1) -- -go- stays", "-GO-",
                            "CREATE TABLE Slova (t nvarchar(40))", "-GO-",
                            "INSERT INTO Slova VALUES (N'čćžšđ ČĆŽŠĐ')", "-GO-",
                            "DROP TABLE Prva"};
    ASSERT_EQ(Run(ThreeTargets(), script), 0);

    EXPECT_EQ(h.TextsOf(Control::LblPozor),
              (Strings{database_text::kConnecting, database_text::kPreparing, "", " ALFA,  ",
                       " ALFA,   BETA,  ", " ALFA,   BETA,   ZETA,  ", database_text::kUpgrading,
                       database_text::kFinished}));
    EXPECT_EQ(h.view.Text(Control::LblTablica), "::::::::::::");
    EXPECT_EQ(h.view.Text(Control::LblBaza), "ZETA");
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].text, "Podizanje verzije uspješno završeno !!");
    EXPECT_EQ(server->Verzija("ALFA"), (Strings{"3.0.13"}));
    EXPECT_EQ(server->Verzija("ZETA"), (Strings{"3.0.13", "3.0.13"}));
    EXPECT_EQ(server->Verzija("POGLED"), (Strings{"1.0.0"}));
    if (!Journal()) return;

    Strings examined;
    for (const auto& s : server->Statements()) {
        if (s.sql.find("sysobjects") != std::string::npos) examined.push_back(s.sql);
    }
    EXPECT_EQ(examined, (Strings{
        "SELECT name From [ALFA].[dbo].[sysobjects] WHERE type = 'U' Order By name",
        "SELECT name From [BETA].[dbo].[sysobjects] WHERE type = 'U' Order By name",
        "SELECT name From [POGLED].[dbo].[sysobjects] WHERE type = 'U' Order By name",
        "SELECT name From [ZETA].[dbo].[sysobjects] WHERE type = 'U' Order By name"}));

    // The journal names the database a statement ran in: a switch runs in the one before it.
    std::vector<std::pair<std::string, std::string>> expected;
    std::string previous = "master";
    for (const std::string db : {"ALFA", "BETA", "ZETA"}) {
        expected.emplace_back(previous, "USE [" + db + "]");
        previous = db;
        for (const std::string batch :
             {"CREATE TABLE Prva (a int)\r\n", "\r\n", "\r\nINSERT INTO Prva VALUES (1) -- -go- stays\r\n",
              "\r\nCREATE TABLE Slova (t nvarchar(40))\r\n",
              "\r\nINSERT INTO Slova VALUES (N'čćžšđ ČĆŽŠĐ')\r\n"}) {
            expected.emplace_back(db, batch);
        }
        expected.emplace_back(db, "Update [" + db + "].[dbo].[Verzija] Set Verzija = '3.0.13'");
    }
    EXPECT_EQ(Executed(), expected);
    EXPECT_EQ(server->LoginLanguages(), (Strings{"Hrvatski"}));
}

TEST_P(DatabaseEndToEnd, SeparatorInsideAStringCutsTheBatch) {
    if (!Journal()) GTEST_SKIP() << "the cut batches are checked in the test server's journal";
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    ASSERT_EQ(Run(s, {"SELECT 'a-GO-b' AS x", "-GO-"}), 0);
    const auto executed = Executed();
    ASSERT_EQ(executed.size(), 4u);
    EXPECT_EQ(executed[1].second, "SELECT 'a");
    EXPECT_EQ(executed[2].second, "b' AS x\r\n");
}

TEST_P(DatabaseEndToEnd, ScriptWithoutSeparatorOnlySwitchesAndStamps) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    ASSERT_EQ(Run(s, {"CREATE TABLE Nikad (a int)"}), 0);
    EXPECT_EQ(server->Verzija("ALFA"), (Strings{"3.0.13"}));
    EXPECT_NE(h.LogText().find("never sent: CREATE TABLE Nikad (a int)"), std::string::npos);
    if (Journal()) {
        EXPECT_EQ(Executed(), (std::vector<std::pair<std::string, std::string>>{
                                  {"master", "USE [ALFA]"},
                                  {"ALFA", "Update [ALFA].[dbo].[Verzija] Set Verzija = '3.0.13'"}}));
    }
}

TEST_P(DatabaseEndToEnd, FailedAndTimedOutBatchesAreReportedButTheRunGoesOn) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}},
                   {"BETA", 6, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    s.faults = {
        R"({"match": "nema_tablice", "error": {"number": 208, "message": "Invalid object name 'nema_tablice'."}})",
        R"({"match": "WAITFOR", "delay": 5})"};
    const Strings script = {"SELECT * FROM nema_tablice", "-GO-", "WAITFOR DELAY '00:00:05'", "-GO-",
                            "CREATE TABLE Poslije (a int)", "-GO-"};
    ASSERT_EQ(Run(s, script, 1, 1), 3);

    EXPECT_EQ(server->Verzija("ALFA"), (Strings{"3.0.13"}));
    EXPECT_EQ(server->Verzija("BETA"), (Strings{"3.0.13"}));
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(h.view.messages[0].title, kTitle);
    EXPECT_NE(h.view.messages[0].text.find("Neuspjelih naredbi: 4 (ALFA, BETA)."), std::string::npos)
        << h.view.messages[0].text;
    EXPECT_NE(h.view.messages[0].text.find(h.LogPath()), std::string::npos);
    const std::string log = h.LogText();
    EXPECT_NE(log.find("ALFA, batch 1 (SELECT * FROM nema_tablice): 208 / Invalid object name 'nema_tablice'."),
              std::string::npos) << log;
    EXPECT_NE(log.find("BETA, batch 2 (WAITFOR DELAY '00:00:05'): -2147217871 / "), std::string::npos) << log;
    if (Journal()) {
        int afterTimeout = 0;
        for (const auto& st : server->Statements()) {
            if (st.sql.find("WAITFOR") != std::string::npos) {
                EXPECT_EQ(st.outcome, "cancelled");
            }
            if (st.sql.find("Poslije") != std::string::npos && st.outcome == "ok") ++afterTimeout;
        }
        EXPECT_EQ(afterTimeout, 2);
    }
}

TEST_P(DatabaseEndToEnd, LostConnectionFailsTheRestButEndsTheRunWithItsReport) {
    if (!Journal()) GTEST_SKIP() << "the dropped connection is a fault rule of the test server";
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}},
                   {"BETA", 6, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    s.faults = {R"({"match": "PREKID", "drop": true})"};
    ASSERT_EQ(Run(s, {"SELECT 'PREKID'", "-GO-", "CREATE TABLE Poslije (a int)", "-GO-"}), 3);
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Warning);
    EXPECT_NE(h.view.messages[0].text.find("Neuspjelih naredbi: 2 (ALFA)."), std::string::npos)
        << h.view.messages[0].text;
    EXPECT_NE(h.view.messages[0].text.find("Preskočene baze (prebacivanje u bazu nije uspjelo): BETA."),
              std::string::npos) << h.view.messages[0].text;
    EXPECT_NE(h.LogText().find("ALFA, batch 1 (SELECT 'PREKID'): -2147467259 / Unexpected EOF from the server"),
              std::string::npos)
        << h.LogText();
    EXPECT_EQ(server->Verzija("ALFA"), (Strings{"3.0.12"}));
}

TEST_P(DatabaseEndToEnd, DatabaseWithoutVerzijaIsUpgradedAndTheNextFollows) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, std::nullopt},
                   {"BETA", 6, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    ASSERT_EQ(Run(s, {"CREATE TABLE Nova (a int)", "-GO-"}), 0);
    EXPECT_EQ(server->Verzija("BETA"), (Strings{"3.0.13"}));
    EXPECT_NE(h.LogText().find("stamp of ALFA failed: 208 / "), std::string::npos) << h.LogText();
}

TEST_P(DatabaseEndToEnd, DatabaseOfflineDuringDiscoveryIsNamedByThePreFlightBeforeAnyChange) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}},
                   {"BETA", 6, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}, true}};
    ASSERT_EQ(Run(s, {"CREATE TABLE Nova (a int)", "-GO-"}), 1);
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(h.view.messages[0].title, kTitle);
    EXPECT_NE(h.view.messages[0].text.find("\r\nBETA: baza nije dostupna (stanje: OFFLINE).\r\n"),
              std::string::npos) << h.view.messages[0].text;
    EXPECT_EQ(server->Verzija("ALFA"), (Strings{"3.0.12"}));
    if (Journal()) {
        EXPECT_TRUE(Executed().empty());
    }
}

TEST_P(DatabaseEndToEnd, NoTargetIsErrorNine) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"Artikli"}, {}, Strings{"3.0.12"}}};
    ASSERT_EQ(Run(s, {"CREATE TABLE Nova (a int)", "-GO-"}), 1);
    EXPECT_EQ(h.TextsOf(Control::LblPozor).at(2), "");
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[1].text, "9/Subscript out of range");
    if (Journal()) {
        EXPECT_TRUE(Executed().empty());
    }
}

TEST_P(DatabaseEndToEnd, RefusedLoginShowsTheTwoBoxesAndEnds) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    // Server kind 0 sends the empty password, which this server refuses.
    ASSERT_EQ(Run(s, {"-GO-"}, 0), 1);
    ASSERT_EQ(h.view.messages.size(), 3u);
    EXPECT_EQ(h.view.messages[0].title, std::optional<std::string>("Tarvik - greška otvaranja"));
    EXPECT_EQ(h.view.messages[1].text, "18456 / Login failed for user 'sa'.");
    EXPECT_EQ(h.view.messages[2].text, "Nastavak nije moguć !!");
    EXPECT_EQ(server->Verzija("ALFA"), (Strings{"3.0.12"}));
}

TEST_P(DatabaseEndToEnd, NoSettingsReachNoServer) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    server->Load(s);
    h.SetScript({"-GO-"});
    OdbcDatabase odbc;
    ASSERT_EQ(h.Run(odbc), 1);
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[1].text.rfind("-2146824579/", 0), 0u);
    if (Journal()) {
        EXPECT_EQ(server->Logins(), 0);
    }
}

TEST_P(DatabaseEndToEnd, NamesWithBracketsAndCroatianLettersAreQuotedAndIntact) {
    Scenario s;
    s.databases = {{"Tar]vik", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}},
                   {"ŽITO", 6, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    ASSERT_EQ(Run(s, {"SELECT 1", "-GO-"}), 0);
    EXPECT_EQ(server->Verzija("Tar]vik"), (Strings{"3.0.13"}));
    EXPECT_EQ(server->Verzija("ŽITO"), (Strings{"3.0.13"}));
    if (Journal()) {
        const auto executed = Executed();
        ASSERT_EQ(executed.size(), 6u);
        EXPECT_EQ(executed[0], (std::pair<std::string, std::string>{"master", "USE [Tar]]vik]"}));
        EXPECT_EQ(executed[2].second, "Update [Tar]]vik].[dbo].[Verzija] Set Verzija = '3.0.13'");
        EXPECT_EQ(executed[4].first, "ŽITO");
        EXPECT_EQ(executed[3], (std::pair<std::string, std::string>{"Tar]vik", "USE [ŽITO]"}));
    }
}

// The connection object itself against the test server: "." names this machine as "(local)"
// does, and an open connection refuses a second Open as the data-access objects do.
TEST(OdbcConnection, DotIsThisMachineAndAnOpenConnectionRefusesASecondOpen) {
    const auto server = ServerUnderTest::TestServer();
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}}};
    server->Load(s);
    std::string name = server->ServerName();
    ASSERT_EQ(name.rfind("(local),", 0), 0u) << name;
    name.replace(0, 7, ".");
    const ConnectionSpec spec = MakeConnectionSpec(ConnectionSettings{"x", name, 1}, "master", 60);
    OdbcDatabase odbc;
    const auto connection = odbc.NewConnection();
    ASSERT_NO_THROW(connection->Open(spec)) << name;
    try {
        connection->Open(spec);
        ADD_FAILURE() << "a second Open was taken";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), -2146824583);
        EXPECT_EQ(e.description(), "Operation is not allowed when the object is open.");
    }
    EXPECT_TRUE(connection->IsOpen());
    EXPECT_NO_THROW(connection->Execute("SELECT 1"));
}

INSTANTIATE_TEST_SUITE_P(Servers, DatabaseEndToEnd, ::testing::Values("tds", "mssql"),
                         [](const auto& test) { return test.param; });

}  // namespace
