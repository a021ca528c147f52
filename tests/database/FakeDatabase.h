#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/SqlTexts.h"
#include "platform/IDatabase.h"

// A scripted server for the logic tests: queries answered from a table, every command recorded,
// failures chosen per command text.
class FakeDatabase : public IDatabase {
public:
    struct Log {
        std::vector<std::string> commands;  // queries and executed commands, in order
        std::vector<ConnectionSpec> opens;
        int closes = 0;
    };

    std::map<std::string, std::vector<std::string>> results;  // query -> values of "Name"
    // Rows of the state query (Name, State, ReadOnly, Access, Writable) by database; a database of
    // the list query without one is ONLINE, read-write, MULTI_USER and writable.
    std::map<std::string, std::vector<std::string>> states;
    // Returns an error for a command (query, Execute or "OPEN") to fail with it.
    std::function<std::optional<AppError>(const std::string&)> fail = [](const std::string&) {
        return std::optional<AppError>();
    };
    std::shared_ptr<Log> log = std::make_shared<Log>();

    std::unique_ptr<IConnection> NewConnection() override;
};

class FakeRecordset : public IRecordset {
public:
    explicit FakeRecordset(const std::vector<std::string>& names) {
        for (const auto& n : names) rows_.push_back({n});
    }
    FakeRecordset(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}
    std::int64_t RecordCount() const override { return static_cast<std::int64_t>(rows_.size()); }
    std::string Field(std::string_view column) const override {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i] == column || (column == "name" && columns_[i] == "Name")) return rows_.at(row_).at(i);
        }
        throw AppError(-1, "fake", "no column");
    }
    void MoveNext() override { ++row_; }
    void Close() override {}

private:
    std::vector<std::string> columns_{"Name"};
    std::vector<std::vector<std::string>> rows_;
    std::size_t row_ = 0;
};

class FakeConnection : public IConnection {
public:
    explicit FakeConnection(FakeDatabase& db) : db_(db) {}
    void Open(const ConnectionSpec& spec) override {
        db_.log->opens.push_back(spec);
        if (auto e = db_.fail("OPEN")) throw *e;
        open_ = true;
    }
    bool IsOpen() const override { return open_; }
    void Close() override {
        ++db_.log->closes;
        open_ = false;
    }
    void Execute(const std::string& sql) override {
        Check(sql);
        db_.log->commands.push_back(sql);
        if (auto e = db_.fail(sql)) throw *e;
    }
    std::unique_ptr<IRecordset> OpenRecordset(const std::string& sql) override {
        Check(sql);
        db_.log->commands.push_back(sql);
        if (auto e = db_.fail(sql)) throw *e;
        if (sql == DatabaseStatesQuery()) return States();
        const auto it = db_.results.find(sql);
        return std::make_unique<FakeRecordset>(it == db_.results.end() ? std::vector<std::string>{}
                                                                        : it->second);
    }

private:
    std::unique_ptr<IRecordset> States() const {
        std::vector<std::vector<std::string>> rows;
        for (const auto& name : db_.results[DatabaseListQuery()]) {
            const auto it = db_.states.find(name);
            auto row = it != db_.states.end() ? it->second
                                              : std::vector<std::string>{name, "ONLINE", "0", "MULTI_USER", "1"};
            // A row given with five columns has the Croatian collation.
            if (row.size() == 5) row.insert(row.begin() + 4, {"Croatian_CI_AS", "1250"});
            rows.push_back(std::move(row));
        }
        return std::make_unique<FakeRecordset>(
            std::vector<std::string>{"Name", "State", "ReadOnly", "Access", "Collation", "CodePage", "Writable"},
            std::move(rows));
    }
    void Check(const std::string&) const {
        if (!open_)
            throw AppError(DatabaseError::kConnectionClosed, "ADODB.Connection",
                           DatabaseError::kConnectionClosedText);
    }
    FakeDatabase& db_;
    bool open_ = false;
};

inline std::unique_ptr<IConnection> FakeDatabase::NewConnection() {
    return std::make_unique<FakeConnection>(*this);
}
