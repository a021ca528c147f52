// 2,000 batches over 5 databases through the database phase, against a bare ODBC loop that
// sends the same statements over one connection to the same TDS test server in the same run.
// Prints both times and their ratio (target: at most 1.2).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/DatabasePhase.h"
#include "database/SqlTexts.h"
#include "platform/odbc/OdbcDatabase.h"
#include "common/Utf16.h"
#include "platform/settings_ini/IniSettingsStore.h"
#include "support/PeFixture.h"
#include "support/ScriptedView.h"
#include "support/TdsTestServer.h"
#include "support/TempFolder.h"

namespace {

constexpr int kDatabases = 5;
constexpr int kBatchesPerDatabase = 400;
constexpr int kRounds = 7;
const std::vector<std::string> kNames = {"BAZA1", "BAZA2", "BAZA3", "BAZA4", "BAZA5"};

using Clock = std::chrono::steady_clock;

std::string Batch(int i) { return "\r\nINSERT INTO Promet VALUES (" + std::to_string(i) + ", N'čćžšđ')\r\n"; }

std::string Catalog() {
    std::string dbs;
    for (int i = 0; i < kDatabases; ++i) {
        dbs += std::string(i ? "," : "") + "{\"name\": \"" + kNames[static_cast<std::size_t>(i)] + "\", \"id\": " +
               std::to_string(5 + i) + ", \"tables\": [\"BLAG_DNEV\", \"Promet\"], \"verzija\": [\"3.0.12\"]}";
    }
    return "{\"password\": \"KolVanDuaMerTis\", \"databases\": [" + dbs + "]}";
}

double RunPhase(const TempFolder& root, int port) {
    root.Write("config/VB and VBA Program Settings/Tarvik.ini",
               "[PutBaza]\nPutBaza=x\n[ImeServera]\nImeServera=127.0.0.1," + std::to_string(port) +
                   "\n[TipServera]\nTipServera=1\n");
    IniSettingsStore settings((root.path() / "config" / "VB and VBA Program Settings").string());
    OdbcDatabase odbc;
    ScriptedView view;
    WindowState state;
    RunLog log;
    UpgradeContext context{view, state, log, (root.path() / "Tarvik").string(), "Tarvik"};
    const auto start = Clock::now();
    try {
        RunDatabaseUpgrade(context, DatabasePhaseDeps{odbc, settings, 60});
    } catch (const ProgramEnded& ended) {
        if (ended.exitCode != 0) {
            std::fprintf(stderr, "the phase ended with %d\n", ended.exitCode);
            std::exit(1);
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Exec(SQLHSTMT stmt, const std::string& sql) {
    std::u16string text = Utf8ToUtf16(sql);
    SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    while (SQLMoreResults(stmt) != SQL_NO_DATA) {
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
}

void Query(SQLHSTMT stmt, const std::string& sql) {
    std::u16string text = Utf8ToUtf16(sql);
    SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        SQLWCHAR buffer[256];
        SQLLEN length = 0;
        SQLGetData(stmt, 1, SQL_C_WCHAR, buffer, sizeof buffer, &length);
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
}

// The same conversation with nothing around it: connect, list, switch, batches, stamps.
double RunBareLoop(int port) {
    const auto start = Clock::now();
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::u16string conn = Utf8ToUtf16("Driver={FreeTDS};Server=127.0.0.1," + std::to_string(port) +
                                      ";Database=master;UID=sa;PWD=KolVanDuaMerTis;Language=Hrvatski;"
                                      "TDS_Version=7.4;ClientCharset=UTF-8;");
    if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(conn.data()),
                                         static_cast<SQLSMALLINT>(conn.size()), nullptr, 0, nullptr,
                                         SQL_DRIVER_NOPROMPT))) {
        std::fprintf(stderr, "bare loop: cannot connect\n");
        std::exit(1);
    }
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    // The same 60-second command time-out as the phase: the driver then waits in slices.
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(60)), 0);
    Query(stmt, DatabaseListQuery());
    for (const auto& name : kNames) Query(stmt, TableListQuery(name));
    for (const auto& name : kNames) {
        Exec(stmt, SwitchCommand(name));
        for (int i = 0; i < kBatchesPerDatabase; ++i) Exec(stmt, Batch(i));
        Exec(stmt, StampCommand(name, "3.0.13"));
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    TempFolder root("velmora-bench-db");
    root.Write("Tarvik/placeholder", "");
    if (!MakePeExe((root.path() / "Tarvik" / "Tarvik.exe").string(), "3.0.0.13")) return 1;
    std::string body;
    for (int i = 0; i < kBatchesPerDatabase; ++i) body += "INSERT INTO Promet VALUES (" + std::to_string(i) + ", N'čćžšđ')\r\n-GO-\r\n";
    // The script as the file holds it: Windows-1250 (č = E8, ć = E6, ž = 9E, š = 9A, đ = F0).
    std::string file = "[Verzija]\r\n3.0.12 / 3.0.13\r\n*\r\n[Akcija]\r\n" + body + "*\r\n";
    for (std::size_t at; (at = file.find("čćžšđ")) != std::string::npos;) file.replace(at, 10, "\xE8\xE6\x9E\x9A\xF0");
    root.Write("Tarvik/Tarvik_Upg.Upg", file);

    TdsTestServer server(Catalog());
    std::vector<double> phase, bare;
    for (int round = 0; round < kRounds; ++round) {
        // Alternating which goes first evens out a server that warms up or a busy machine.
        if (round % 2 == 0) {
            bare.push_back(RunBareLoop(server.Port()));
            phase.push_back(RunPhase(root, server.Port()));
        } else {
            phase.push_back(RunPhase(root, server.Port()));
            bare.push_back(RunBareLoop(server.Port()));
        }
    }
    // The fastest round of each: on a shared machine the slower rounds measure the neighbours.
    const double p = *std::min_element(phase.begin(), phase.end());
    const double b = *std::min_element(bare.begin(), bare.end());
    std::printf("database phase: %d batches over %d databases, fastest of %d rounds\n",
                kDatabases * kBatchesPerDatabase, kDatabases, kRounds);
    std::printf("  phase     %.3f s\n  bare ODBC %.3f s\n  ratio     %.3f (target <= 1.2)\n", p, b, p / b);
    return 0;
}
