// The TDS test server seen through the real client stack: unixODBC and FreeTDS's driver pinned
// to TDS 7.4, on loopback. Checks what the driver receives and what the server's journal and
// state file record.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/TdsTestServer.h"

namespace {

struct Diag {
    std::string state;
    long native = 0;
    std::string text;
};

struct Result {
    SQLRETURN rc = SQL_ERROR;
    std::vector<std::string> rows;  // first column of each row
    std::vector<std::string> wholeRows;  // every column of each row, joined by "|"; NULL as "NULL"
    std::vector<Diag> diags;
    // SQL_NO_DATA: the batch ran and produced neither rows nor a count.
    bool ok() const { return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA; }
    long native() const { return diags.empty() ? 0 : diags.front().native; }
    std::string state() const { return diags.empty() ? "" : diags.front().state; }
    std::string text() const { return diags.empty() ? "" : diags.front().text; }
};

std::vector<Diag> ReadDiags(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<Diag> diags;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[1024] = {};
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length))) {
            return diags;
        }
        diags.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)});
    }
}

bool HasNative(const std::vector<Diag>& diags, long native) {
    for (const auto& d : diags) {
        if (d.native == native) {
            return true;
        }
    }
    return false;
}

// One ODBC connection; statements run one at a time, rows read as UTF-8 text.
class Connection {
public:
    Connection() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    }
    ~Connection() {
        if (connected_) {
            SQLDisconnect(dbc_);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Result Open(const std::string& connectionString) {
        Result r;
        std::string text = connectionString;
        r.rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        r.diags = ReadDiags(SQL_HANDLE_DBC, dbc_);
        connected_ = SQL_SUCCEEDED(r.rc);
        return r;
    }

    // Runs UTF-8 text through the narrow entry point and fetches every row.
    Result Run(const std::string& sql, long timeoutSeconds = 0) {
        return Execute(timeoutSeconds, [&](SQLHSTMT stmt) {
            std::string text = sql;
            return SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()),
                                 static_cast<SQLINTEGER>(text.size()));
        });
    }

    // Runs UTF-16 text through the wide entry point.
    Result RunWide(const std::u16string& sql) {
        return Execute(0, [&](SQLHSTMT stmt) {
            std::u16string text = sql;
            return SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                                  static_cast<SQLINTEGER>(text.size()));
        });
    }

private:
    template <typename Exec>
    Result Execute(long timeoutSeconds, Exec exec) {
        Result r;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
        SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeoutSeconds), 0);
        r.rc = exec(stmt);
        r.diags = ReadDiags(SQL_HANDLE_STMT, stmt);
        if (SQL_SUCCEEDED(r.rc)) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(stmt, &columns);
            while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
                std::string whole;
                for (SQLUSMALLINT col = 1; col <= static_cast<SQLUSMALLINT>(columns); ++col) {
                    char value[512] = {};
                    SQLLEN length = 0;
                    SQLGetData(stmt, col, SQL_C_CHAR, value, sizeof value, &length);
                    if (col == 1) r.rows.emplace_back(value);
                    whole += std::string(col == 1 ? "" : "|") + (length == SQL_NULL_DATA ? "NULL" : value);
                }
                r.wholeRows.push_back(whole);
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return r;
    }

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
};

std::string ManyTables() {
    std::string list;
    for (int i = 1; i <= 400; ++i) {
        list += std::string(list.empty() ? "" : ", ") + "\"T" + std::to_string(1000 + i) +
                "_TABLICA_S_DUGIM_IMENOM_ZA_VIŠE_PAKETA\"";
    }
    return list;
}

const std::string kCatalog = R"({"password": "Tajna1", "databases": [
 {"name": "ZETA", "id": 7, "tables": ["BLAG_DNEV"], "verzija": ["3.0.11"]},
 {"name": "ALFA", "id": 5, "tables": ["PARTNERI", "BLAG_DNEV"], "views": ["V_BLAG"],
  "verzija": ["3.0.12", "3.0.12", "3.0.10"]},
 {"name": "BETA", "id": 6, "tables": ["blag_dnev"]},
 {"name": "ARHIVA", "id": 8, "offline": true, "tables": ["BLAG_DNEV"]},
 {"name": "Pero]Test", "id": 9, "tables": ["BLAG_DNEV"], "verzija": ["1"]},
 {"name": "master", "id": 1, "tables": ["BLAG_DNEV"]},
 {"name": "VELIKA", "id": 10, "tables": [)" + ManyTables() + R"(]}],
 "faults": [
  {"match": "WAITFOR DELAY", "delay": 3},
  {"match": "^RAISE ME$", "error": {"number": 50000, "message": "Namjerna greška."}},
  {"match": "DROP ME", "drop": true},
  {"match": "ONLY IN BETA", "database": "BETA", "error": {"number": 50001, "message": "beta"}},
  {"match": "SECOND TIME", "occurrence": 2, "error": {"number": 50002, "message": "second"}}]})";

std::string TableQuery(const std::string& bracketed) {
    return "SELECT name From " + bracketed + ".[dbo].[sysobjects] WHERE type = 'U' Order By name";
}

std::string FirstOf(const std::vector<std::string>& lines) { return lines.empty() ? "" : lines.front(); }
std::string LastOf(const std::vector<std::string>& lines) { return lines.empty() ? "" : lines.back(); }

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One server per test: the journal and the Verzija rows start fresh.
class TdsServerTest : public ::testing::Test {
protected:
    TdsTestServer server{kCatalog};

    // A connection opened on the given database with the catalog's password.
    std::unique_ptr<Connection> Open(const std::string& database = "master") {
        auto c = std::make_unique<Connection>();
        const Result r = c->Open(server.ConnectionString(database, "Tajna1"));
        EXPECT_TRUE(r.ok()) << (r.text());
        return c;
    }

    std::string LastStatement() {
        return LastOf(server.Statements());
    }
};

}  // namespace

TEST_F(TdsServerTest, LoginWithTheCatalogPasswordLandsInTheRequestedDatabase) {
    auto c = Open("ALFA");
    ASSERT_TRUE(c->Run("SELECT 1").ok());
    EXPECT_TRUE(Contains(LastStatement(), R"("database": "ALFA", "sql": "SELECT 1", "outcome": "ok")"))
        << LastStatement();
    EXPECT_TRUE(Contains(FirstOf(server.JournalLines()), R"("event": "login", "database": "ALFA")"));
}

TEST_F(TdsServerTest, RefusedLoginsCarryTheServerNumber) {
    struct Case {
        const char* label;
        const char* database;
        const char* password;
        long native;
    } cases[] = {
        {"wrong password", "master", "kriva", 18456},
        {"empty password", "master", "", 18456},
        {"unknown database", "NEMA", "Tajna1", 4060},
        {"offline database", "ARHIVA", "Tajna1", 4060},
    };
    for (const auto& k : cases) {
        Connection c;
        const Result r = c.Open(server.ConnectionString(k.database, k.password));
        EXPECT_FALSE(r.ok()) << k.label;
        EXPECT_TRUE(HasNative(r.diags, k.native)) << k.label;
        if (k.native == 18456) {
            EXPECT_TRUE(Contains(r.text(), "Login failed for user 'sa'.")) << k.label;
        }
    }
}

TEST_F(TdsServerTest, DatabaseListIsSortedAndLeavesOutTheSystemDatabases) {
    auto c = Open();
    const Result r = c->Run("SELECT Name From sysdatabases Where dbid>4 ORDER BY Name");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.rows, (std::vector<std::string>{"ALFA", "ARHIVA", "BETA", "Pero]Test", "VELIKA", "ZETA"}));
    EXPECT_TRUE(Contains(LastStatement(), R"("rows": 6)"));
}

TEST_F(TdsServerTest, TableListsOfEachDatabase) {
    struct Case {
        const char* label;
        const char* bracketed;
        std::vector<std::string> rows;
        long native;
    } cases[] = {
        {"user tables sorted, view left out", "[ALFA]", {"BLAG_DNEV", "PARTNERI", "Verzija"}, 0},
        {"lower-case marker table", "[BETA]", {"blag_dnev"}, 0},
        {"name with an escaped bracket", "[Pero]]Test]", {"BLAG_DNEV", "Verzija"}, 0},
        {"name case ignored", "[alfa]", {"BLAG_DNEV", "PARTNERI", "Verzija"}, 0},
        {"offline database", "[ARHIVA]", {}, 942},
        {"unknown database", "[NEMA]", {}, 911},
        {"unescaped bracket is a syntax error", "[Pero]Test]", {}, 102},
    };
    auto c = Open();
    for (const auto& k : cases) {
        const Result r = c->Run(TableQuery(k.bracketed));
        EXPECT_EQ(r.ok(), k.native == 0) << k.label;
        EXPECT_EQ(r.rows, k.rows) << k.label;
        EXPECT_EQ(r.native(), k.native) << k.label;
    }
    const Result offline = c->Run(TableQuery("[ARHIVA]"));
    EXPECT_TRUE(Contains(offline.text(),
                         "Database 'ARHIVA' cannot be opened because it is offline."));
}

TEST_F(TdsServerTest, ResultLargerThanAPacketArrivesWhole) {
    auto c = Open();
    const Result r = c->Run(TableQuery("[VELIKA]"));
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.rows.size(), 400u);
    EXPECT_EQ(r.rows.front(), "T1001_TABLICA_S_DUGIM_IMENOM_ZA_VIŠE_PAKETA");
    EXPECT_EQ(r.rows.back(), "T1400_TABLICA_S_DUGIM_IMENOM_ZA_VIŠE_PAKETA");
}

TEST_F(TdsServerTest, UseSwitchesTheDatabaseOrFailsWithTheServerNumber) {
    auto c = Open();
    EXPECT_TRUE(c->Run("USE [ALFA]").ok());
    EXPECT_EQ(c->Run("USE [NEMA]").native(), 911);
    EXPECT_EQ(c->Run("USE [ARHIVA]").native(), 942);
    ASSERT_TRUE(c->Run("SELECT 2").ok());
    EXPECT_TRUE(Contains(LastStatement(), R"("database": "ALFA", "sql": "SELECT 2")")) << LastStatement();
    EXPECT_TRUE(c->Run("USE [Pero]]Test]").ok());
    ASSERT_TRUE(c->Run("SELECT 3").ok());
    EXPECT_TRUE(Contains(LastStatement(), R"("database": "Pero]Test", "sql": "SELECT 3")"));
}

TEST_F(TdsServerTest, StampSetsEveryRowOfVerzija) {
    auto c = Open();
    ASSERT_TRUE(c->Run("Update [ALFA].[dbo].[Verzija] Set Verzija = '3.0.13'").ok());
    EXPECT_TRUE(Contains(LastStatement(), R"("rows": 3)"));
    ASSERT_TRUE(c->Run("Update [Pero]]Test].[dbo].[Verzija] Set Verzija = '3.0.13'").ok());
    const Result missing = c->Run("Update [BETA].[dbo].[Verzija] Set Verzija = '3.0.13'");
    EXPECT_EQ(missing.native(), 208);
    EXPECT_TRUE(Contains(missing.text(), "Invalid object name 'BETA.dbo.Verzija'."));

    const std::string state = server.State();
    EXPECT_TRUE(Contains(state, R"("name": "ALFA", "id": 5)"));
    EXPECT_TRUE(Contains(state, R"("verzija": ["3.0.13", "3.0.13", "3.0.13"]})"));
    EXPECT_TRUE(Contains(state, R"("verzija": ["3.0.11"]})")) << "ZETA untouched";
    EXPECT_TRUE(Contains(state, R"("verzija": ["3.0.13"]})")) << "Pero]Test stamped";
}

// The pre-flight's state query and the database faults it looks for.
TEST(TdsServerDatabaseStates, StateQueryAnswersEachUserDatabaseAndFaultyOnesRefuseTheStamp) {
    TdsTestServer server(R"({"password": "", "databases": [
 {"name": "ALFA", "id": 5, "verzija": ["1"]},
 {"name": "BETA", "id": 6, "read_only": true, "verzija": ["1"]},
 {"name": "DELTA", "id": 8, "offline": true},
 {"name": "GAMA", "id": 7, "single_user": true, "writable": false, "verzija": ["1"]},
 {"name": "EPSILON", "id": 9, "writable": false, "verzija": ["1"]}]})");
    Connection c;
    ASSERT_TRUE(c.Open(server.ConnectionString("master")).ok());
    const Result r = c.Run(
        "SELECT name AS Name, state_desc AS State, CAST(is_read_only AS int) AS ReadOnly, "
        "user_access_desc AS Access, CASE WHEN state_desc = 'ONLINE' AND user_access_desc = 'MULTI_USER' "
        "THEN CASE WHEN HAS_PERMS_BY_NAME(name, 'DATABASE', 'ALTER') = 1 THEN 1 ELSE 0 END END AS Writable "
        "FROM sys.databases WHERE database_id > 4 ORDER BY name");
    ASSERT_TRUE(r.ok()) << r.text();
    EXPECT_EQ(r.wholeRows, (std::vector<std::string>{
                               "ALFA|ONLINE|0|MULTI_USER|1", "BETA|ONLINE|1|MULTI_USER|1",
                               "DELTA|OFFLINE|0|MULTI_USER|NULL", "EPSILON|ONLINE|0|MULTI_USER|0",
                               "GAMA|ONLINE|0|SINGLE_USER|NULL"}));
    EXPECT_EQ(c.Run("Update [BETA].[dbo].[Verzija] Set Verzija = '2'").native(), 3906);
    EXPECT_EQ(c.Run("Update [EPSILON].[dbo].[Verzija] Set Verzija = '2'").native(), 229);
    EXPECT_TRUE(c.Run("Update [ALFA].[dbo].[Verzija] Set Verzija = '2'").ok());
}

TEST_F(TdsServerTest, CroatianLettersArriveIntact) {
    auto c = Open();
    ASSERT_TRUE(c->Run("SELECT 'čćžšđ ČĆŽŠĐ'").ok());
    EXPECT_TRUE(Contains(LastStatement(), R"("sql": "SELECT 'čćžšđ ČĆŽŠĐ'")")) << LastStatement();
    ASSERT_TRUE(c->RunWide(u"SELECT N'Šđčćž'").ok());
    EXPECT_TRUE(Contains(LastStatement(), R"("sql": "SELECT N'Šđčćž'")")) << LastStatement();
}

TEST_F(TdsServerTest, BatchLargerThanManyPacketsArrivesWhole) {
    std::string filler;
    while (filler.size() < 100 * 1024) {
        filler += "SELECT NAZIV = 'Đurđevac' WHERE 1 = 0; ";
    }
    auto c = Open();
    ASSERT_TRUE(c->Run(filler + "SELECT 'kraj'").ok());
    EXPECT_TRUE(Contains(LastStatement(), "\"sql\": \"" + filler + "SELECT 'kraj'\", "));
}

// The server grants a smaller packet size than the driver asks for: both the request and the
// reply then travel in many 512-byte packets.
TEST(TdsServerSmallPackets, BatchAndResultCrossManyPackets) {
    TdsTestServer server(kCatalog, {"--packet-size", "512"});
    Connection c;
    ASSERT_TRUE(c.Open(server.ConnectionString("master", "Tajna1")).ok());
    EXPECT_TRUE(Contains(FirstOf(server.JournalLines()), R"("packet_size": 512)"));
    const std::string batch = "SELECT '" + std::string(5000, 'x') + "čćž'";
    ASSERT_TRUE(c.Run(batch).ok());
    EXPECT_TRUE(Contains(LastOf(server.Statements()), "\"sql\": \"" + batch + "\", "));
    EXPECT_EQ(c.Run(TableQuery("[VELIKA]")).rows.size(), 400u);
}

TEST_F(TdsServerTest, QueryTimeOutCancelsAndTheConnectionGoesOn) {
    auto c = Open();
    const auto start = std::chrono::steady_clock::now();
    const Result r = c->Run("WAITFOR DELAY '00:00:03'", 1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.state(), "HYT00");
    EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
    const Result after = c->Run("SELECT Name From sysdatabases Where dbid>4 ORDER BY Name");
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(after.rows.size(), 6u);
    const auto statements = server.Statements();
    ASSERT_EQ(statements.size(), 2u);
    EXPECT_TRUE(Contains(statements[0], R"("outcome": "cancelled")")) << statements[0];
}

// FreeTDS reports the statement during which the link died as 20017 "Unexpected EOF from the
// server" (SQLSTATE 01000 on an SQL_ERROR return); every later statement gets 08S01.
TEST_F(TdsServerTest, DropRuleLosesTheConnection) {
    auto c = Open();
    const Result r = c->Run("DROP ME");
    EXPECT_EQ(r.rc, SQL_ERROR);
    EXPECT_EQ(r.native(), 20017);
    EXPECT_TRUE(Contains(LastStatement(), R"("outcome": "dropped")"));
    EXPECT_EQ(c->Run("SELECT 1").state(), "08S01");
}

TEST_F(TdsServerTest, ErrorRulesByPatternDatabaseAndOccurrence) {
    auto c = Open();
    const Result raised = c->Run("RAISE ME");
    EXPECT_EQ(raised.native(), 50000);
    EXPECT_TRUE(Contains(raised.text(), "Namjerna greška."));
    EXPECT_TRUE(c->Run("RAISE ME NOT").ok()) << "the pattern is anchored";

    EXPECT_TRUE(c->Run("SELECT 'ONLY IN BETA'").ok()) << "master is not BETA";
    ASSERT_TRUE(c->Run("USE [BETA]").ok());
    EXPECT_EQ(c->Run("SELECT 'ONLY IN BETA'").native(), 50001);

    EXPECT_TRUE(c->Run("SECOND TIME").ok());
    EXPECT_EQ(c->Run("SECOND TIME").native(), 50002);
    EXPECT_TRUE(c->Run("SECOND TIME").ok());
}

TEST_F(TdsServerTest, ConnectionsKeepTheirOwnDatabase) {
    auto first = Open("ALFA");
    auto second = Open("BETA");
    ASSERT_TRUE(first->Run("SELECT 'prva'").ok());
    ASSERT_TRUE(second->Run("SELECT 'druga'").ok());
    const auto statements = server.Statements();
    ASSERT_EQ(statements.size(), 2u);
    EXPECT_TRUE(Contains(statements[0], R"("database": "ALFA")"));
    EXPECT_TRUE(Contains(statements[1], R"("database": "BETA")"));
}
