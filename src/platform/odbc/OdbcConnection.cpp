#include "platform/odbc/OdbcConnection.h"

#include "platform/odbc/OdbcConnectionString.h"
#include "platform/odbc/OdbcDriverCalls.h"
#include "platform/odbc/OdbcHandles.h"
#include "platform/odbc/OdbcRecordset.h"

#include <optional>

namespace {

// A result sequence longer than this is taken as a driver that keeps repeating an error.
constexpr int kMaxResults = 100000;

SQLINTEGER TextLength(const std::u16string& text) { return static_cast<SQLINTEGER>(text.size()); }

std::string ReadColumnText(SQLHSTMT stmt, SQLUSMALLINT column, bool& failed) {
    std::u16string value;
    char16_t buffer[2048];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) { failed = true; return {}; }
        // A NULL reads as the empty text, as the value of a NULL field joined to a text does.
        if (indicator == SQL_NULL_DATA) break;
        const std::size_t room = sizeof buffer / sizeof buffer[0] - 1;
        const std::size_t got = (indicator == SQL_NO_TOTAL || indicator / 2 > static_cast<SQLLEN>(room))
                                    ? room
                                    : static_cast<std::size_t>(indicator / 2);
        value.append(buffer, got);
        if (rc == SQL_SUCCESS) break;  // SQL_SUCCESS_WITH_INFO: truncated, more to come
    }
    return Utf16ToUtf8(value);
}

}  // namespace

OdbcConnection::OdbcConnection(std::shared_ptr<OdbcEnvironment> env, std::string driver)
    : env_(std::move(env)), driver_(std::move(driver)) {}

OdbcConnection::~OdbcConnection() { Close(); }

void OdbcConnection::Open(const ConnectionSpec& spec) {
    if (open_) throw AppError(-2146824583, "ADODB.Connection", "Operation is not allowed when the object is open.");
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_->handle, &dbc)))
        throw AppError(DatabaseError::kDriverFailure, source(), "Cannot allocate a connection handle.");
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(spec.loginTimeoutSeconds)), 0);
    std::u16string text = Utf8ToUtf16(BuildOdbcConnectionString(spec, driver_));
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, WidePointer(text),
                                           static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                                           &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        const auto records = ReadDiagnostics(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        throw ClassifyOdbcError(records, source());
    }
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
        const auto records = ReadDiagnostics(SQL_HANDLE_DBC, dbc);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        throw ClassifyOdbcError(records, source());
    }
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(spec.commandTimeoutSeconds)), 0);
    dbc_ = dbc;
    stmt_ = stmt;
    open_ = true;
}

void OdbcConnection::Close() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    if (dbc_) {
        // A failed disconnect (the server dropped the line) leaves nothing to undo.
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    stmt_ = nullptr;
    dbc_ = nullptr;
    driverCalls_.reset();
    open_ = false;
}

void OdbcConnection::RequireOpen() const {
    if (!open_)
        throw AppError(DatabaseError::kConnectionClosed, "ADODB.Connection",
                       DatabaseError::kConnectionClosedText);
}

void OdbcConnection::RaiseStatementError() {
    const auto records = ReadDiagnostics(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    throw ClassifyOdbcError(records, source());
}

std::optional<AppError> OdbcConnection::ErrorOf(SQLRETURN rc, const std::vector<OdbcDiagRecord>& records) const {
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) return ClassifyOdbcError(records, source());
    // Info messages (5701, PRINT) come this way, and so does, by ODBC's rules, a statement that
    // failed in the middle of a batch.
    if (rc == SQL_SUCCESS_WITH_INFO) return ErrorAmongInfo(records, source());
    return std::nullopt;
}

bool OdbcConnection::EndsTheConversation(const AppError& e) {
    // After a time-out the driver has cancelled the batch; after a lost line nothing more
    // comes. Either way the rest of the batch did not run, or it cannot be known that it did.
    return e.number() == DatabaseError::kTimeout || e.number() == DatabaseError::kDriverFailure;
}

std::optional<AppError> OdbcConnection::ExecDirect(const std::string& sql) {
    // The length is passed, but drivers still end the text at a NUL on its way to the server
    // (FreeTDS sends "DELETE FROM t" of "DELETE FROM t<NUL> WHERE k = 5"): such a text is
    // refused before it reaches the driver.
    if (sql.find('\0') != std::string::npos)
        throw AppError(DatabaseError::kInvalidArgument, source(),
                       "The command holds a NUL character at position " +
                           std::to_string(sql.find('\0') + 1) + "; it was not sent.");
    cutShort_ = false;
    std::u16string text = Utf8ToUtf16(sql);
    const SQLRETURN rc = SQLExecDirectW(stmt_, WidePointer(text), TextLength(text));
    if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) return std::nullopt;
    auto error = ErrorOf(rc, ReadDiagnostics(SQL_HANDLE_STMT, stmt_));
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
        if (!error || !EndsTheConversation(*error)) {
            // The other statements of the batch still run and send their results, which must
            // be read off the line: closing the statement instead would cancel them.
            if (!DrainThroughDriver()) cutShort_ = true;
        } else {
            cutShort_ = true;
        }
        SQLFreeStmt(stmt_, SQL_CLOSE);
        throw error ? *error : ClassifyOdbcError({}, source());
    }
    return error;
}

std::optional<AppError> OdbcConnection::ReadRemaining(SQLRETURN (*more)(SQLHSTMT, const OdbcConnection&),
                                                      SQLHSTMT handle) {
    std::optional<AppError> first;
    for (int i = 0; i < kMaxResults; ++i) {
        const SQLRETURN rc = more(handle, *this);
        if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) return first;
        if (rc == SQL_SUCCESS) continue;
        const auto records = driverStatement_ == handle && driverCalls_ && driverCalls_->Available()
                                 ? driverCalls_->Diagnostics(handle)
                                 : ReadDiagnostics(SQL_HANDLE_STMT, handle);
        const auto error = ErrorOf(rc, records);
        if (!error) continue;
        if (!first) first = error;
        if (EndsTheConversation(*error)) {
            cutShort_ = true;
            return first;
        }
    }
    return first;
}

bool OdbcConnection::DrainThroughDriver() {
    if (!driverCalls_) driverCalls_ = std::make_unique<OdbcDriverCalls>(dbc_);
    if (!driverCalls_->Available()) return false;
    const SQLHSTMT handle = driverCalls_->DriverStatement(dbc_, stmt_);
    if (handle == SQL_NULL_HSTMT) return false;
    driverStatement_ = handle;
    // The first error of the batch is the one reported; later ones are read only to let the
    // batch run to its end.
    ReadRemaining([](SQLHSTMT h, const OdbcConnection& c) { return c.driverCalls_->MoreResults(h); },
                  handle);
    driverStatement_ = SQL_NULL_HSTMT;
    return true;
}

std::optional<AppError> OdbcConnection::DrainResults(std::optional<AppError> first) {
    const auto later =
        ReadRemaining([](SQLHSTMT h, const OdbcConnection&) { return SQLMoreResults(h); }, stmt_);
    if (!first) first = later;
    if (first && !EndsTheConversation(*first) && !cutShort_) {
        // A failed statement takes the manager's statement back to "no results": whatever
        // the batch still holds is read from the driver itself.
        if (!DrainThroughDriver()) cutShort_ = true;
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return first;
}

void OdbcConnection::Execute(const std::string& sql) {
    RequireOpen();
    if (const auto error = DrainResults(ExecDirect(sql))) throw *error;
}

std::unique_ptr<IRecordset> OdbcConnection::OpenRecordset(const std::string& sql) {
    RequireOpen();
    const auto info = ExecDirect(sql);
    SQLSMALLINT count = 0;
    SQLNumResultCols(stmt_, &count);
    std::vector<std::string> columns;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
        std::u16string name(256, u'\0');
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeColW(stmt_, c, WidePointer(name), static_cast<SQLSMALLINT>(name.size()),
                        &length, &type, &size, &digits, &nullable);
        name.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), 255));
        columns.push_back(Utf16ToUtf8(name));
    }
    std::vector<std::vector<std::string>> rows;
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt_);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) RaiseStatementError();
        std::vector<std::string> row;
        for (SQLSMALLINT c = 1; c <= count; ++c) {
            bool failed = false;
            row.push_back(ReadColumnText(stmt_, static_cast<SQLUSMALLINT>(c), failed));
            if (failed) RaiseStatementError();
        }
        rows.push_back(std::move(row));
    }
    if (const auto error = DrainResults(info)) throw *error;
    return std::make_unique<OdbcRecordset>(std::move(columns), std::move(rows));
}
