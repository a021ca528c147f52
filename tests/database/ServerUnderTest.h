#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MiniJson.h"

// The databases a scenario needs on the server.
struct ScenarioDatabase {
    std::string name;
    int id = 0;  // honoured by the test server only; a real server numbers its own
    std::vector<std::string> tables;
    std::vector<std::string> views;
    std::optional<std::vector<std::string>> verzija;  // rows of table Verzija; none: no table
    bool offline = false;
    // Pre-flight faults; only the test server plays them (a real one would need another login).
    bool readOnly = false;
    bool singleUser = false;
    bool writable = true;
    // Only the test server: a single-user database whose one connection is another session's.
    bool heldByOther = false;
    std::string collation{};  // empty: the server's default (Croatian_CI_AS on the test server)
};

struct Scenario {
    std::vector<ScenarioDatabase> databases;
    // Fault rules of the test server (JSON objects). A real server needs none: the scripts
    // that use them fail or wait there by themselves.
    std::vector<std::string> faults;
    // Only the test server: identifiers and the catalog compared case-sensitively.
    bool caseSensitive = false;
};

// One statement the server received, from the test server's journal.
struct JournalStatement {
    std::string database;
    std::string sql;
    std::string outcome;
    int error = 0;
};

// The server the end-to-end tests run against: the TDS test server, or a real SQL Server named
// by VELMORA_TEST_MSSQL. Its "sa" login takes the program's fixed password (server kind 1).
class ServerUnderTest {
public:
    virtual ~ServerUnderTest() = default;

    virtual void Load(const Scenario& scenario) = 0;
    // The value of "ImeServera" that reaches this server.
    virtual std::string ServerName() const = 0;
    // Only the test server keeps a journal of what it received.
    virtual bool HasJournal() const = 0;
    virtual std::vector<JournalStatement> Statements() const = 0;
    virtual int Logins() const = 0;
    // The server language each accepted login asked for, in order (test server only).
    virtual std::vector<std::string> LoginLanguages() const = 0;
    // The rows of Verzija in a database, as they are now.
    virtual std::vector<std::string> Verzija(const std::string& database) const = 0;
    // The rows of a table now (on the test server: the rows the batches have inserted).
    virtual long Rows(const std::string& database, const std::string& table) const = 0;
    // The journal lines that are events (rollback, attention, ...) of the given kind.
    virtual std::vector<Json> Events(const std::string& kind) const = 0;

    static std::unique_ptr<ServerUnderTest> TestServer();
    // Null when VELMORA_TEST_MSSQL is not set.
    static std::unique_ptr<ServerUnderTest> RealServer();
};
