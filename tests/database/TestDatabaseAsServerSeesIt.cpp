// The database phase against a server that answers as SQL Server does: one DONE per statement,
// errors in the middle of a batch, transactions that stay open after a failed batch, databases
// held by another session, case-sensitive catalogs, collations of other code pages. Through
// FreeTDS against the TDS test server; the cases a real server can play also run against the one
// named by VELMORA_TEST_MSSQL.
#include <gtest/gtest.h>

#include "PhaseHarness.h"
#include "ServerUnderTest.h"
#include "platform/odbc/OdbcDatabase.h"

namespace {

using Strings = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

ScenarioDatabase Target(const std::string& name, int id) {
    return {name, id, {"BLAG_DNEV", "Promet"}, {}, Strings{"3.0.12"}};
}

class AsServerSeesIt : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        server = GetParam() == "tds" ? ServerUnderTest::TestServer() : ServerUnderTest::RealServer();
        if (!server) GTEST_SKIP() << "VELMORA_TEST_MSSQL is not set: no real SQL Server to run against";
        ASSERT_TRUE(h.Ready());
    }
    int Run(const Scenario& scenario, const Strings& script, int timeout = 60) {
        server->Load(scenario);
        h.SetServer(server->ServerName(), 1);
        h.SetScript(script);
        OdbcDatabase odbc;
        return h.Run(odbc, timeout);
    }
    bool Journal() const { return server->HasJournal(); }
    std::string Box() const { return h.view.messages.empty() ? "" : h.view.messages.back().text; }

    std::unique_ptr<ServerUnderTest> server;
    PhaseHarness h;
};

// A batch that fails after BEGIN TRAN leaves the transaction open (208 ends the batch, not the
// transaction). Without the rollback every later batch, switch and stamp, in every later
// database, ran inside it and was undone when the connection closed.
TEST_P(AsServerSeesIt, AnOpenTransactionIsRolledBackAndItsDatabaseNotStamped) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6)};
    const Strings script = {"INSERT INTO Promet VALUES (1)", "-GO-",
                            "BEGIN TRAN", "INSERT INTO Promet VALUES (2)",
                            "INSERT INTO Nema_Tablice VALUES (3)", "COMMIT", "-GO-",
                            "INSERT INTO Promet VALUES (4)", "-GO-"};
    ASSERT_EQ(Run(s, script), 3) << Box();

    EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.12"});
    EXPECT_EQ(server->Verzija("BETA"), Strings{"3.0.12"});
    // Batches 1 and 3 of each database stay; batch 2's insert is undone with its transaction.
    EXPECT_EQ(server->Rows("ALFA", "Promet"), 2);
    EXPECT_EQ(server->Rows("BETA", "Promet"), 2);
    EXPECT_TRUE(Contains(Box(), "\r\nOtvorena transakcija poništena (rad skripte poništen, verzija nije "
                                "upisana): ALFA (naredba 2), BETA (naredba 2).\r\n"))
        << Box();
    EXPECT_TRUE(Contains(h.LogText(), "transaction\tALFA, batch 2 left a transaction open (@@TRANCOUNT 1): "
                                      "rolled back"))
        << h.LogText();
    EXPECT_FALSE(Contains(h.LogText(), "stamped ALFA")) << h.LogText();
    if (!Journal()) return;
    const auto rollbacks = server->Events("rollback");
    ASSERT_EQ(rollbacks.size(), 2u);
    EXPECT_EQ(rollbacks[0]["reason"].Str(), "rollback");
    EXPECT_EQ(rollbacks[0]["undone"].items.size(), 1u);
}

// A transaction a successful batch opens and no later batch commits is found at the script's end.
TEST_P(AsServerSeesIt, ATransactionLeftOpenByTheScriptIsFoundAtItsEnd) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6)};
    ASSERT_EQ(Run(s, {"BEGIN TRAN", "INSERT INTO Promet VALUES (1)", "-GO-"}), 3) << Box();
    EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.12"});
    EXPECT_EQ(server->Rows("BETA", "Promet"), 0);
    EXPECT_TRUE(Contains(Box(), "ALFA (kraj skripte), BETA (kraj skripte)")) << Box();
}

// A transaction opened after one was rolled back is looked for too: left open, it would carry the
// next database's switch, batches and stamp, and be undone with them at the disconnect.
TEST_P(AsServerSeesIt, ATransactionOpenedAfterARollbackIsRolledBackToo) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6)};
    const Strings script = {"BEGIN TRAN", "INSERT INTO Promet VALUES (1)", "INSERT INTO Nema_Tablice VALUES (2)",
                            "COMMIT", "-GO-", "BEGIN TRAN", "INSERT INTO Promet VALUES (3)", "-GO-"};
    ASSERT_EQ(Run(s, script), 3) << Box();
    EXPECT_EQ(server->Rows("ALFA", "Promet"), 0);
    EXPECT_EQ(server->Rows("BETA", "Promet"), 0);
    EXPECT_TRUE(Contains(Box(), "ALFA (naredba 1), BETA (naredba 1)")) << Box();
    EXPECT_TRUE(Contains(h.LogText(), "transaction\tALFA, at the end of its script left a transaction open "
                                      "(@@TRANCOUNT 1)"))
        << h.LogText();
    if (!Journal()) return;
    const auto rollbacks = server->Events("rollback");
    ASSERT_EQ(rollbacks.size(), 4u);
    for (const auto& rollback : rollbacks) EXPECT_EQ(rollback["reason"].Str(), "rollback");
}

// A first statement that fails must not cancel the rest of its batch: the driver's
// SQLFreeStmt(SQL_CLOSE) would send an attention, and the server drops what it has not run.
TEST_P(AsServerSeesIt, ABatchWhoseFirstStatementFailsRunsToItsEnd) {
    Scenario s;
    s.databases = {Target("ALFA", 5)};
    Strings script = {"RAISERROR('prva naredba ne prolazi', 16, 1)"};
    for (int i = 0; i < 600; ++i) script.push_back("INSERT INTO Promet VALUES (" + std::to_string(i) + ")");
    script.push_back("-GO-");
    ASSERT_EQ(Run(s, script), 3) << Box();
    EXPECT_EQ(server->Rows("ALFA", "Promet"), 600);
    EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.13"});
    EXPECT_TRUE(Contains(h.LogText(), "ALFA, batch 1 (RAISERROR('prva naredba ne prolazi', 16, 1)): 50000 / "
                                      "prva naredba ne prolazi"))
        << h.LogText();
    EXPECT_FALSE(Contains(Box(), "možda nisu izvršene")) << Box();
    if (Journal()) {
        EXPECT_TRUE(server->Events("attention").empty());
    }
}

// An error in the middle or at the end of a batch fails the batch; the statements around it ran.
TEST_P(AsServerSeesIt, AnErrorInTheMiddleOrAtTheEndOfABatchFailsIt) {
    for (const auto& at : {"middle", "end"}) {
        PhaseHarness fresh;
        Scenario s;
        s.databases = {Target("ALFA", 5)};
        server->Load(s);
        fresh.SetServer(server->ServerName(), 1);
        Strings script = {"INSERT INTO Promet VALUES (1)", "RAISERROR('usred', 16, 1)"};
        if (std::string(at) == "middle") script.push_back("INSERT INTO Promet VALUES (2)");
        script.push_back("-GO-");
        fresh.SetScript(script);
        OdbcDatabase odbc;
        EXPECT_EQ(fresh.Run(odbc), 3) << at;
        EXPECT_TRUE(Contains(fresh.LogText(), "ALFA, batch 1 (INSERT INTO Promet VALUES (1)): 50000 / usred"))
            << at << ": " << fresh.LogText();
        EXPECT_EQ(server->Rows("ALFA", "Promet"), std::string(at) == "middle" ? 2 : 1) << at;
    }
}

// HAS_PERMS_BY_NAME takes a one-part name: the bare "Tarvik.2023" gives NULL.
TEST_P(AsServerSeesIt, ADatabaseWithADotInItsNameIsWritable) {
    Scenario s;
    s.databases = {Target("Tarvik.2023", 5)};
    ASSERT_EQ(Run(s, {"INSERT INTO Promet VALUES (1)", "-GO-"}), 0) << Box();
    EXPECT_EQ(server->Verzija("Tarvik.2023"), Strings{"3.0.13"});
}

INSTANTIATE_TEST_SUITE_P(Servers, AsServerSeesIt, ::testing::Values("tds", "mssql"),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

// The cases only the test server can play: a lock that holds a batch past the time-out, another
// session's single user, a case-sensitive catalog, a Latin-1 collation, odd driver records.
class AsTestServerSeesIt : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(h.Ready()); }
    int Run(const Scenario& scenario, const Strings& script, int timeout = 60) {
        server->Load(scenario);
        h.SetServer(server->ServerName(), 1);
        h.SetScript(script);
        OdbcDatabase odbc;
        return h.Run(odbc, timeout);
    }
    std::string Box() const { return h.view.messages.empty() ? "" : h.view.messages.back().text; }

    std::unique_ptr<ServerUnderTest> server = ServerUnderTest::TestServer();
    PhaseHarness h;
};

TEST_F(AsTestServerSeesIt, ABatchCutAtTheTimeOutIsNamedAndItsTransactionRolledBack) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6)};
    // A till holds a lock on Promet in ALFA: the ALTER waits past the command time-out.
    s.faults = {R"({"match": "^ALTER TABLE Promet", "database": "ALFA", "delay": 5})"};
    const Strings script = {"BEGIN TRAN", "ALTER TABLE Promet ADD b int", "COMMIT", "-GO-",
                            "INSERT INTO Promet VALUES (1)", "-GO-"};
    ASSERT_EQ(Run(s, script, 1), 3) << Box();
    EXPECT_TRUE(Contains(Box(), "\r\nNaredbe prekinute zbog isteka vremena: ALFA (naredba 1).\r\n")) << Box();
    EXPECT_TRUE(Contains(Box(), "verzija nije upisana): ALFA (naredba 1).")) << Box();
    EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.12"});
    // BETA ran outside any transaction of ALFA's: its work and its stamp stay.
    EXPECT_EQ(server->Verzija("BETA"), Strings{"3.0.13"});
    EXPECT_EQ(server->Rows("BETA", "Promet"), 1);
    EXPECT_EQ(server->Rows("ALFA", "Promet"), 1);
}

TEST_F(AsTestServerSeesIt, ADatabaseHeldByAnotherSessionIsNamedByThePreFlight) {
    Scenario s;
    s.databases = {Target("ALFA", 5), {"SERVIS", 6, {"Podaci"}, {}, std::nullopt}};
    s.databases[1].heldByOther = true;
    ASSERT_EQ(Run(s, {"INSERT INTO Promet VALUES (1)", "-GO-"}), 1) << Box();
    EXPECT_TRUE(Contains(Box(), "\r\nSERVIS: baza nije u višekorisničkom načinu rada (SINGLE_USER).\r\n"))
        << Box();
    EXPECT_EQ(server->Rows("ALFA", "Promet"), 0);
    EXPECT_TRUE(Contains(h.LogText(), "not examined (held by another session): SERVIS: 924 / ")) << h.LogText();
}

TEST_F(AsTestServerSeesIt, ACaseSensitiveServerIsReadWithTheCatalogsOwnSpelling) {
    Scenario s;
    s.caseSensitive = true;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV", "VERZIJA", "Promet"}, {}, Strings{"3.0.12"}},
                   {"beta", 6, {"blag_dnev", "Verzija", "Promet"}, {}, Strings{"3.0.12"}}};
    ASSERT_EQ(Run(s, {"INSERT INTO Promet VALUES (1)", "-GO-"}), 0) << Box();
    EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.13"});
    EXPECT_EQ(server->Verzija("beta"), Strings{"3.0.13"});
}

TEST_F(AsTestServerSeesIt, ACollationOfAnotherCodePageIsLoggedAndWarned) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6)};
    s.databases[1].collation = "SQL_Latin1_General_CP1_CI_AS";
    ASSERT_EQ(Run(s, {"INSERT INTO Promet VALUES (1)", "-GO-"}), 3) << Box();
    EXPECT_TRUE(Contains(Box(), "\r\nKodna stranica baze nije 1250 (hrvatska slova u tekstu bez N se gube): "
                                "BETA (SQL_Latin1_General_CP1_CI_AS).\r\n"))
        << Box();
    const std::string log = h.LogText();
    EXPECT_TRUE(Contains(log, "ALFA: collation Croatian_CI_AS (code page 1250)")) << log;
    EXPECT_TRUE(Contains(log, "BETA: collation SQL_Latin1_General_CP1_CI_AS (code page 1252)")) << log;
    EXPECT_TRUE(Contains(log, "collation\tBETA: code page 1252 is not 1250")) << log;
    // The upgrade itself went on in both.
    EXPECT_EQ(server->Verzija("BETA"), Strings{"3.0.13"});
}

// FreeTDS reports 911 under SQLSTATE 08004, a connection state; the server's number says what it is.
TEST_F(AsTestServerSeesIt, A911IsTheServersErrorNotALostConnection) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6)};
    s.faults = {R"({"match": "^USE \\[ALFA\\]", "error": {"number": 911, "message": "Database 'ALFA' does not exist. Make sure that the name is entered correctly."}})"};
    ASSERT_EQ(Run(s, {"INSERT INTO Promet VALUES (1)", "-GO-"}), 3) << Box();
    EXPECT_TRUE(Contains(h.LogText(), "skipped ALFA: the switch into it failed: 911 / Database 'ALFA' does not exist"))
        << h.LogText();
    EXPECT_EQ(server->Verzija("BETA"), Strings{"3.0.13"});
}

}  // namespace
