#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/AppError.h"

// A small data-access seam in the manner of ADO: one connection that opens, reports its state,
// executes commands without fetching rows and opens read-only result sets. Every failure is
// raised as AppError with the number the user is shown (see the constants below), the source
// and the description. All texts are UTF-8; implementations send them to the server as Unicode.

// What to connect to, in the platform's neutral terms; each implementation turns it into its own
// connection string.
struct ConnectionSpec {
    std::string server;    // "host", "host,port", "host\instance"; "(local)" is this machine
    std::string database;  // the initial database, character for character
    std::string user;      // SQL Server authentication
    std::string password;
    std::string language;  // the session's server language, e.g. "Hrvatski"
    int commandTimeoutSeconds = 60;  // every command; 0 waits for ever
    int loginTimeoutSeconds = 15;
};

// The numbers shown when only the client side knows the error (the server sent no error number
// of its own). They are the values the platform's data-access objects report for the same cases.
namespace DatabaseError {
// A connection that cannot be reached, is refused below the login or is lost (E_FAIL).
inline constexpr std::int32_t kDriverFailure = -2147467259;
// A command that ran longer than the command time-out and was cancelled.
inline constexpr std::int32_t kTimeout = -2147217871;
// A command on a connection that is not open.
inline constexpr std::int32_t kConnectionClosed = -2146824579;
// A command whose text cannot be sent as written (it holds a NUL character); nothing is sent.
inline constexpr std::int32_t kInvalidArgument = -2146825287;
inline constexpr const char* kConnectionClosedText =
    "The connection cannot be used to perform this operation. It is either closed or invalid in "
    "this context.";
}  // namespace DatabaseError

// A read-only result whose rows are all known once it is open (a client-side cursor).
class IRecordset {
public:
    virtual ~IRecordset() = default;

    virtual std::int64_t RecordCount() const = 0;
    // The value of the named column in the current row as text; the name's letter case is
    // ignored. Raises AppError when there is no such column or no current row.
    virtual std::string Field(std::string_view column) const = 0;
    virtual void MoveNext() = 0;
    virtual void Close() = 0;
};

class IConnection {
public:
    virtual ~IConnection() = default;

    virtual void Open(const ConnectionSpec& spec) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // Runs a command (one batch, one or several statements) and fetches no rows. An error in any
    // statement of the batch raises; the statements before it have run. The text reaches the
    // server whole or not at all: one holding a NUL character raises kInvalidArgument unsent.
    virtual void Execute(const std::string& sql) = 0;
    virtual std::unique_ptr<IRecordset> OpenRecordset(const std::string& sql) = 0;
    // True when the last command could not be read to the end of its batch (a time-out, a lost
    // connection, a driver that would not give the remaining results): statements after the
    // failing one may not have run.
    virtual bool LastCommandCutShort() const { return false; }
};

class IDatabase {
public:
    virtual ~IDatabase() = default;

    // A new, closed connection.
    virtual std::unique_ptr<IConnection> NewConnection() = 0;
};
