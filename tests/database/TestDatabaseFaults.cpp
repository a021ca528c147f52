// The database phase against a server and files that misbehave: databases that cannot take the
// script (the pre-flight), a NUL in the script, an empty batch, a stamp that fails, a connection
// that drops. Each runs through FreeTDS against the TDS test server and reads its journal.
#include <gtest/gtest.h>

#include "PhaseHarness.h"
#include "ServerUnderTest.h"
#include "database/ConnectionSettings.h"
#include "database/DatabaseTexts.h"
#include "platform/odbc/OdbcDatabase.h"

namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}
bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class DatabaseFaults : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(h.Ready()); }

    int Run(const Scenario& scenario, const Strings& script, int timeout = 60) {
        server->Load(scenario);
        h.SetServer(server->ServerName(), 1);
        h.SetScript(script);
        OdbcDatabase odbc;
        return h.Run(odbc, timeout);
    }
    // The statements that changed something or could have: all but the catalog queries and the
    // state query of the pre-flight.
    Strings Changing() const {
        Strings out;
        for (const auto& s : server->Statements()) {
            const bool catalog = Contains(s.sql, "sysdatabases") ||
                                 Contains(s.sql, "[sysobjects]") ||
                                 Contains(s.sql, "FROM sys.databases");
            if (!catalog) out.push_back(s.sql);
        }
        return out;
    }
    std::string Box() const { return h.view.messages.empty() ? "" : h.view.messages.back().text; }

    std::unique_ptr<ServerUnderTest> server = ServerUnderTest::TestServer();
    PhaseHarness h;
};

ScenarioDatabase Target(const std::string& name, int id) {
    return {name, id, {"BLAG_DNEV"}, {}, Strings{"3.0.12"}};
}

TEST_F(DatabaseFaults, PreFlightStopsTheRunBeforeAnyDatabaseIsChanged) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6), Target("GAMA", 7), Target("DELTA", 8),
                   Target("EPSILON", 9)};
    s.databases[1].readOnly = true;
    s.databases[3].offline = true;
    EXPECT_EQ(Run(s, {"DELETE FROM Artikli", "-GO-"}), 1);

    EXPECT_EQ(Changing(), Strings{});
    for (const std::string db : {"ALFA", "BETA", "GAMA", "EPSILON"})
        EXPECT_EQ(server->Verzija(db), Strings{"3.0.12"}) << db;
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(h.view.messages[0].title, std::optional<std::string>("Velmora dizanje verzije."));
    EXPECT_EQ(Box(),
              "Podizanje verzije nije započeto: neke baze nisu spremne za promjenu.\r\n"
              "\r\nBETA: baza je samo za čitanje."
              "\r\nDELTA: baza nije dostupna (stanje: OFFLINE)."
              "\r\n\r\nNijedna baza nije promijenjena.\r\n"
              "Pojedinosti su zapisane u datoteci " +
                  h.LogPath());
    const std::string log = h.LogText();
    EXPECT_TRUE(Contains(log, "pre-flight\tBETA failed: baza je samo za čitanje")) << log;
    EXPECT_TRUE(Contains(log, "pre-flight\tDELTA failed: baza nije dostupna (stanje: OFFLINE)"))
        << log;
    // The offline database is never opened, so discovery does not end on its 942.
    for (const auto& st : server->Statements()) EXPECT_NE(st.outcome, "error") << st.sql;
}

struct PreFlightCase {
    const char* label;
    void (*spoil)(ScenarioDatabase&);
    std::string reason;
};

TEST_F(DatabaseFaults, EachFaultOfOneTargetIsNamed) {
    const PreFlightCase cases[] = {
        {"single user", [](ScenarioDatabase& d) { d.singleUser = true; },
         "baza nije u višekorisničkom načinu rada (SINGLE_USER)"},
        {"not writable by the login", [](ScenarioDatabase& d) { d.writable = false; },
         "prijava nema pravo mijenjati bazu"},
        {"read-only and single user", [](ScenarioDatabase& d) { d.readOnly = d.singleUser = true; },
         "baza je samo za čitanje, baza nije u višekorisničkom načinu rada (SINGLE_USER)"},
    };
    for (const auto& c : cases) {
        PhaseHarness fresh;
        Scenario s;
        s.databases = {Target("ALFA", 5), Target("BETA", 6)};
        c.spoil(s.databases[1]);
        server->Load(s);
        fresh.SetServer(server->ServerName(), 1);
        fresh.SetScript({"SELECT 1", "-GO-"});
        OdbcDatabase odbc;
        EXPECT_EQ(fresh.Run(odbc), 1) << c.label;
        ASSERT_EQ(fresh.view.messages.size(), 1u) << c.label;
        EXPECT_TRUE(Contains(fresh.view.messages[0].text, "\r\nBETA: " + c.reason + ".\r\n"))
            << c.label << ": " << fresh.view.messages[0].text;
        EXPECT_FALSE(Contains(fresh.view.messages[0].text, "ALFA")) << c.label;
        EXPECT_EQ(Changing(), Strings{}) << c.label;
    }
}

TEST_F(DatabaseFaults, ANonTargetDatabaseThatIsReadOnlyDoesNotStopTheRun) {
    Scenario s;
    s.databases = {Target("ALFA", 5), {"ARHIVA", 6, {"Stari"}, {}, std::nullopt}};
    s.databases[1].readOnly = true;
    s.databases[1].singleUser = true;
    EXPECT_EQ(Run(s, {"SELECT 1", "-GO-"}), 0) << Box();
    EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.13"});
    EXPECT_TRUE(Contains(h.LogText(), "pre-flight\tALFA: online, read-write, multi-user, writable"))
        << h.LogText();
}

TEST_F(DatabaseFaults, ANulInTheScriptRefusesTheWholeUpgradeBeforeAnyStatement) {
    Scenario s;
    s.databases = {Target("ALFA", 5)};
    EXPECT_EQ(Run(s, {"SELECT 1", "-GO-", "DELETE FROM Artikli\0 WHERE Sifra = 5"s, "-GO-"}), 1);
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(Box(), "Neispravna konfiguracijska datoteka ''Tarvik_Upg.upg");
    EXPECT_EQ(Changing(), Strings{});
    EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.12"});
    EXPECT_TRUE(
        Contains(h.LogText(), "[Akcija] cannot be used: a NUL byte in line 7 (in [Akcija])"))
        << h.LogText();
}

// Below the script: the connection itself never lets a NUL cut a command short.
TEST_F(DatabaseFaults, ACommandHoldingANulNeverReachesTheServerCut) {
    Scenario s;
    s.databases = {Target("ALFA", 5)};
    server->Load(s);
    OdbcDatabase odbc;
    const auto connection = odbc.NewConnection();
    connection->Open(
        MakeConnectionSpec(ConnectionSettings{"x", server->ServerName(), 1}, "ALFA", 60));
    try {
        connection->Execute("DELETE FROM Artikli\0 WHERE Sifra = 5"s);
        ADD_FAILURE() << "a command with a NUL was taken";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), DatabaseError::kInvalidArgument);
        EXPECT_TRUE(Contains(e.description(), "NUL")) << e.description();
    }
    for (const auto& st : server->Statements())
        EXPECT_FALSE(StartsWith(st.sql, "DELETE")) << st.sql;
    // The connection is still good for the next command.
    EXPECT_NO_THROW(connection->Execute("SELECT 2"));
}

TEST_F(DatabaseFaults, EmptyBatchesCountAsRunWithoutReachingTheDriver) {
    Scenario s;
    s.databases = {Target("ALFA", 5), Target("BETA", 6)};
    // The script begins with a separator, and two follow each other on one line.
    EXPECT_EQ(Run(s, {"-GO-", "CREATE TABLE Nova (a int)-GO--GO-", "SELECT 1", "-GO-"}), 0)
        << Box();
    EXPECT_EQ(Box(), "Podizanje verzije uspješno završeno !!");
    Strings sent;
    for (const auto& st : server->Statements()) {
        if (st.database == "ALFA") sent.push_back(st.sql);
    }
    EXPECT_EQ(sent,
              (Strings{"\r\nCREATE TABLE Nova (a int)", "\r\nSELECT 1\r\n",
                       "Update [ALFA].[dbo].[Verzija] Set Verzija = '3.0.13'", "USE [BETA]"}));
    const std::string log = h.LogText();
    const std::string line = "empty batch(es) 1, 3: counted as run, never sent";
    EXPECT_TRUE(Contains(log, line)) << log;
    EXPECT_EQ(log.find(line), log.rfind(line)) << "logged once per run";
}

struct StampFault {
    const char* label;
    std::string rule;  // a fault rule for the stamp of ALFA
    std::string logged;
};

TEST_F(DatabaseFaults, AStampThatFailsForAnyReasonButAMissingTableIsReported) {
    const StampFault cases[] = {
        {"deadlock",
         R"({"match": "^Update \\[ALFA\\]", "error": {"number": 1205, "class": 13, "message": "Transaction (Process ID 52) was deadlocked on lock resources with another process and has been chosen as the deadlock victim. Rerun the transaction."}})",
         "stamp of ALFA failed: 1205 / Transaction (Process ID 52) was deadlocked"},
        {"time-out", R"({"match": "^Update \\[ALFA\\]", "delay": 5})",
         "stamp of ALFA failed: -2147217871 / "},
        {"connection dropped", R"({"match": "^Update \\[ALFA\\]", "drop": true})",
         "stamp of ALFA failed: -2147467259 / Unexpected EOF from the server"},
    };
    for (const auto& c : cases) {
        PhaseHarness fresh;
        Scenario s;
        s.databases = {Target("ALFA", 5), Target("BETA", 6)};
        s.faults = {c.rule};
        server->Load(s);
        fresh.SetServer(server->ServerName(), 1);
        fresh.SetScript({"SELECT 1", "-GO-"});
        OdbcDatabase odbc;
        EXPECT_EQ(fresh.Run(odbc, 1), 3) << c.label;
        ASSERT_EQ(fresh.view.messages.size(), 1u) << c.label;
        EXPECT_EQ(fresh.view.messages[0].icon, MsgIcon::Warning) << c.label;
        EXPECT_TRUE(Contains(fresh.view.messages[0].text,
                             "\r\nVerzija nije upisana (baza ostaje na staroj verziji): ALFA.\r\n"))
            << c.label << ": " << fresh.view.messages[0].text;
        EXPECT_EQ(server->Verzija("ALFA"), Strings{"3.0.12"}) << c.label;
        EXPECT_TRUE(Contains(fresh.LogText(), c.logged)) << c.label << ": " << fresh.LogText();
    }
}

TEST_F(DatabaseFaults, AMissingTableVerzijaStaysSilent) {
    Scenario s;
    s.databases = {{"ALFA", 5, {"BLAG_DNEV"}, {}, std::nullopt}, Target("BETA", 6)};
    EXPECT_EQ(Run(s, {"SELECT 1", "-GO-"}), 0);
    EXPECT_EQ(Box(), "Podizanje verzije uspješno završeno !!");
    EXPECT_TRUE(Contains(h.LogText(), "stamp of ALFA failed: 208 / ")) << h.LogText();
}

TEST_F(DatabaseFaults, ALostConnectionShowsTheDriversOwnMessage) {
    Scenario s;
    s.databases = {Target("ALFA", 5)};
    s.faults = {R"({"match": "PREKID", "drop": true})"};
    EXPECT_EQ(Run(s, {"SELECT 'PREKID'", "-GO-"}), 3);
    const std::string log = h.LogText();
    EXPECT_TRUE(Contains(
        log, "ALFA, batch 1 (SELECT 'PREKID'): -2147467259 / Unexpected EOF from the server"))
        << log;
    EXPECT_FALSE(Contains(log, "Unspecified error")) << log;
}

}  // namespace
