#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IDatabase.h"

struct OdbcEnvironment;
struct OdbcDiagRecord;
class OdbcDriverCalls;

// One connection handle and one statement handle, reused for every command. Every call is
// synchronous; a command that runs past the command time-out is cancelled by the driver and
// raised as DatabaseError::kTimeout, after which the connection can be used again.
class OdbcConnection : public IConnection {
public:
    OdbcConnection(std::shared_ptr<OdbcEnvironment> env, std::string driver);
    ~OdbcConnection() override;
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    void Open(const ConnectionSpec& spec) override;
    bool IsOpen() const override { return open_; }
    // Never raises: a connection that the server already dropped is closed all the same.
    void Close() override;
    void Execute(const std::string& sql) override;
    std::unique_ptr<IRecordset> OpenRecordset(const std::string& sql) override;
    bool LastCommandCutShort() const override { return cutShort_; }

private:
    using SqlReturn = short;
    using StatementHandle = void*;
    void RequireOpen() const;
    // Runs the text. A failure of its first statement is raised once the rest of the batch
    // has been read; an error among the info records of a success is returned.
    std::optional<AppError> ExecDirect(const std::string& sql);
    // Reads the remaining results of the statement and ends it, so that the connection is
    // ready for the next command; returns `first`, or else the first error among them.
    std::optional<AppError> DrainResults(std::optional<AppError> first);
    // Reads what the driver still holds of the batch through its own entry points; false when
    // they cannot be reached.
    bool DrainThroughDriver();
    std::optional<AppError> ReadRemaining(SqlReturn (*more)(StatementHandle, const OdbcConnection&),
                                          StatementHandle handle);
    std::optional<AppError> ErrorOf(SqlReturn rc, const std::vector<OdbcDiagRecord>& records) const;
    static bool EndsTheConversation(const AppError& e);
    [[noreturn]] void RaiseStatementError();
    std::string source() const { return "ODBC " + driver_; }

    std::shared_ptr<OdbcEnvironment> env_;
    std::string driver_;
    void* dbc_ = nullptr;
    void* stmt_ = nullptr;
    bool open_ = false;
    std::unique_ptr<OdbcDriverCalls> driverCalls_;  // looked up at the first failed statement
    StatementHandle driverStatement_ = nullptr;  // while results are read through the driver
    bool cutShort_ = false;
};
