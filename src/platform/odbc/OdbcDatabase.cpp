#include "platform/odbc/OdbcDatabase.h"

#include "platform/odbc/OdbcConnection.h"
#include "platform/odbc/OdbcConnectionString.h"
#include "platform/odbc/OdbcHandles.h"

OdbcEnvironment::OdbcEnvironment() {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle)))
        throw AppError(DatabaseError::kDriverFailure, "ODBC", "The ODBC driver manager cannot be used.");
    SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

OdbcEnvironment::~OdbcEnvironment() {
    if (handle != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, handle);
}

std::vector<OdbcDiagRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle,
                                            GetDiagRecFn getDiagRec) {
    std::vector<OdbcDiagRecord> records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::u16string message(1024, u'\0');
        SQLSMALLINT length = 0;
        const SQLRETURN rc = getDiagRec(handleType, handle, i, state, &native,
                                        WidePointer(message),
                                        static_cast<SQLSMALLINT>(message.size()), &length);
        if (!SQL_SUCCEEDED(rc)) break;
        message.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                             message.size() - 1));
        std::u16string stateText(reinterpret_cast<const char16_t*>(state), 5);
        records.push_back({Utf16ToUtf8(stateText), static_cast<int>(native), Utf16ToUtf8(message)});
    }
    return records;
}

OdbcDatabase::OdbcDatabase() : OdbcDatabase(OdbcDriverFromEnvironment()) {}

OdbcDatabase::OdbcDatabase(std::string driver)
    : env_(std::make_shared<OdbcEnvironment>()), driver_(std::move(driver)) {}

OdbcDatabase::~OdbcDatabase() = default;

std::unique_ptr<IConnection> OdbcDatabase::NewConnection() {
    return std::make_unique<OdbcConnection>(env_, driver_);
}
