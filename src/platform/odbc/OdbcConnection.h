#pragma once

#include <memory>
#include <string>

#include "platform/IDatabase.h"

struct OdbcEnvironment;

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

private:
    void RequireOpen() const;
    // Runs the text; on failure reads the statement's records, ends the statement and raises.
    void ExecDirect(const std::string& sql);
    // Skips the remaining results of the statement; the first error among them is raised after
    // the statement has been ended, so that the connection is ready for the next command.
    void DrainResults();
    [[noreturn]] void RaiseStatementError();
    std::string source() const { return "ODBC " + driver_; }

    std::shared_ptr<OdbcEnvironment> env_;
    std::string driver_;
    void* dbc_ = nullptr;
    void* stmt_ = nullptr;
    bool open_ = false;
};
