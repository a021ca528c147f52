#include "ServerUnderTest.h"

#include <cstdlib>

#include "database/SqlTexts.h"
#include "platform/odbc/OdbcDatabase.h"
#include "support/TdsTestServer.h"

namespace {

constexpr const char* kFixedPassword = "KolVanDuaMerTis";

std::string List(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + JsonText(items[i]);
    return out + "]";
}

std::string CatalogJson(const Scenario& s) {
    std::string out = "{\"password\": " + JsonText(kFixedPassword) + ", \"case_sensitive\": " +
                      (s.caseSensitive ? "true" : "false") + ", \"databases\": [";
    for (std::size_t i = 0; i < s.databases.size(); ++i) {
        const auto& d = s.databases[i];
        out += std::string(i ? "," : "") + "{\"name\": " + JsonText(d.name) +
               ", \"id\": " + std::to_string(d.id) + ", \"tables\": " + List(d.tables) +
               ", \"views\": " + List(d.views) + ", \"offline\": " + (d.offline ? "true" : "false") +
               ", \"read_only\": " + (d.readOnly ? "true" : "false") +
               ", \"single_user\": " + (d.singleUser ? "true" : "false") +
               ", \"writable\": " + (d.writable ? "true" : "false") +
               ", \"held_by_other\": " + (d.heldByOther ? "true" : "false");
        if (!d.collation.empty()) out += ", \"collation\": " + JsonText(d.collation);
        if (d.verzija) out += ", \"verzija\": " + List(*d.verzija);
        out += "}";
    }
    out += "], \"faults\": [";
    for (std::size_t i = 0; i < s.faults.size(); ++i) out += (i ? "," : "") + s.faults[i];
    return out + "]}";
}

class TdsBackend : public ServerUnderTest {
public:
    void Load(const Scenario& scenario) override {
        server_ = std::make_unique<TdsTestServer>(CatalogJson(scenario));
    }
    std::string ServerName() const override {
        // "(local)" with a port: this machine, as the program names it.
        return "(local)," + std::to_string(server_->Port());
    }
    bool HasJournal() const override { return true; }
    std::vector<JournalStatement> Statements() const override {
        std::vector<JournalStatement> out;
        for (const auto& line : server_->JournalLines()) {
            const Json j = Json::Parse(line);
            // The phase's own question for an open transaction is left out: the tests follow
            // the statements that change or read the databases.
            if (!j.Has("sql") || j["sql"].Str() == TranCountQuery()) continue;
            out.push_back({j["database"].Str(), j["sql"].Str(), j["outcome"].Str(),
                           static_cast<int>(j["error"].number)});
        }
        return out;
    }
    int Logins() const override {
        int n = 0;
        for (const auto& line : server_->JournalLines()) {
            if (Json::Parse(line)["event"].Str() == "login") ++n;
        }
        return n;
    }
    std::vector<std::string> LoginLanguages() const override {
        std::vector<std::string> languages;
        for (const auto& line : server_->JournalLines()) {
            const Json j = Json::Parse(line);
            if (j["event"].Str() == "login" && j["outcome"].Str() == "ok") languages.push_back(j["language"].Str());
        }
        return languages;
    }
    std::vector<std::string> Verzija(const std::string& database) const override {
        const Json state = Json::Parse(server_->State());
        for (const auto& d : state["databases"].items) {
            if (d["name"].Str() != database) continue;
            std::vector<std::string> rows;
            for (const auto& v : d["verzija"].items) rows.push_back(v.Str());
            return rows;
        }
        return {};
    }
    long Rows(const std::string& database, const std::string& table) const override {
        const Json state = Json::Parse(server_->State());
        for (const auto& d : state["databases"].items) {
            if (d["name"].Str() == database) return static_cast<long>(d["rows"][table].number);
        }
        return -1;
    }
    std::vector<Json> Events(const std::string& kind) const override {
        std::vector<Json> out;
        for (const auto& line : server_->JournalLines()) {
            const Json j = Json::Parse(line);
            if (j["event"].Str() == kind) out.push_back(j);
        }
        return out;
    }

private:
    std::unique_ptr<TdsTestServer> server_;
};

// A disposable SQL Server: the scenario's databases are dropped and created afresh, and dropped
// again at the end. Never point it at a server that holds real data.
class RealBackend : public ServerUnderTest {
public:
    explicit RealBackend(std::string server) : server_(std::move(server)) {}
    ~RealBackend() override {
        try {
            for (const auto& name : created_) Drop(name);
        } catch (const AppError&) {
            // A database left behind is dropped by the next run's Load.
        }
    }
    void Load(const Scenario& scenario) override {
        for (const auto& d : scenario.databases) {
            Drop(d.name);
            Run("CREATE DATABASE " + QuoteName(d.name));
            created_.push_back(d.name);
            const std::string db = QuoteName(d.name) + ".[dbo].";
            for (const auto& t : d.tables) Run("CREATE TABLE " + db + QuoteName(t) + " (a int)");
            for (const auto& v : d.views)
                Run("USE " + QuoteName(d.name) + "; EXEC('CREATE VIEW " + QuoteName(v) + " AS SELECT 1 AS a')");
            if (d.verzija) {
                Run("CREATE TABLE " + db + "[Verzija] (Verzija nvarchar(20))");
                for (const auto& row : *d.verzija)
                    Run("INSERT INTO " + db + "[Verzija] VALUES (N'" + row + "')");
            }
            if (d.offline) Run("ALTER DATABASE " + QuoteName(d.name) + " SET OFFLINE WITH ROLLBACK IMMEDIATE");
        }
    }
    std::string ServerName() const override { return server_; }
    bool HasJournal() const override { return false; }
    std::vector<JournalStatement> Statements() const override { return {}; }
    int Logins() const override { return -1; }
    std::vector<std::string> LoginLanguages() const override { return {}; }
    std::vector<std::string> Verzija(const std::string& database) const override {
        auto rs = Connection().OpenRecordset("SELECT Verzija AS Name FROM " + QuoteName(database) +
                                             ".[dbo].[Verzija]");
        std::vector<std::string> rows;
        for (std::int64_t i = 0; i < rs->RecordCount(); ++i, rs->MoveNext()) rows.push_back(rs->Field("Name"));
        return rows;
    }
    long Rows(const std::string& database, const std::string& table) const override {
        auto rs = Connection().OpenRecordset("SELECT CAST(COUNT(*) AS int) AS Name FROM " + QuoteName(database) +
                                             ".[dbo]." + QuoteName(table));
        return std::atol(rs->Field("Name").c_str());
    }
    std::vector<Json> Events(const std::string&) const override { return {}; }

private:
    IConnection& Connection() const {
        if (!connection_) {
            connection_ = odbc_.NewConnection();
            connection_->Open({server_, "master", "sa", kFixedPassword, "", 60, 15});
        }
        return *connection_;
    }
    void Run(const std::string& sql) const { Connection().Execute(sql); }
    void Drop(const std::string& name) const {
        const std::string n = QuoteName(name);
        std::string literal;
        for (char c : name) literal += (c == '\'') ? std::string("''") : std::string(1, c);
        Run("USE master; IF DB_ID(N'" + literal + "') IS NOT NULL BEGIN ALTER DATABASE " + n +
            " SET ONLINE; ALTER DATABASE " + n + " SET SINGLE_USER WITH ROLLBACK IMMEDIATE; DROP DATABASE " +
            n + " END");
    }

    std::string server_;
    mutable OdbcDatabase odbc_;
    mutable std::unique_ptr<IConnection> connection_;
    std::vector<std::string> created_;
};

}  // namespace

std::unique_ptr<ServerUnderTest> ServerUnderTest::TestServer() { return std::make_unique<TdsBackend>(); }

std::unique_ptr<ServerUnderTest> ServerUnderTest::RealServer() {
    const char* server = std::getenv("VELMORA_TEST_MSSQL");
    if (!server || !*server) return nullptr;
    return std::make_unique<RealBackend>(server);
}
