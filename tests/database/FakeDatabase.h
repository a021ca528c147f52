#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // Returns an error for a command (query, Execute or "OPEN") to fail with it.
    std::function<std::optional<AppError>(const std::string&)> fail = [](const std::string&) {
        return std::optional<AppError>();
    };
    std::shared_ptr<Log> log = std::make_shared<Log>();

    std::unique_ptr<IConnection> NewConnection() override;
};

class FakeRecordset : public IRecordset {
public:
    explicit FakeRecordset(std::vector<std::string> names) : names_(std::move(names)) {}
    std::int64_t RecordCount() const override { return static_cast<std::int64_t>(names_.size()); }
    std::string Field(std::string_view column) const override {
        if (column != "Name" && column != "name") throw AppError(-1, "fake", "no column");
        return names_.at(row_);
    }
    void MoveNext() override { ++row_; }
    void Close() override {}

private:
    std::vector<std::string> names_;
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
        const auto it = db_.results.find(sql);
        return std::make_unique<FakeRecordset>(it == db_.results.end() ? std::vector<std::string>{}
                                                                        : it->second);
    }

private:
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
