#pragma once

#ifdef _WIN32
// Windows' ODBC headers take their basic types from windows.h.
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>
#include <vector>

#include "platform/odbc/OdbcDiagnostics.h"
#include "common/Utf16.h"

// The ODBC environment, shared by the database object and its connections so that it outlives
// them all.
struct OdbcEnvironment {
    SQLHENV handle = SQL_NULL_HENV;
    OdbcEnvironment();
    ~OdbcEnvironment();
    OdbcEnvironment(const OdbcEnvironment&) = delete;
    OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;
};

// SQLGetDiagRecW, the driver manager's or a driver's own.
using GetDiagRecFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*,
                                          SQLINTEGER*, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);

// Every diagnostic record of a handle.
std::vector<OdbcDiagRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle,
                                            GetDiagRecFn getDiagRec = &SQLGetDiagRecW);

// UTF-16 text as the wide entry points take it.
inline SQLWCHAR* WidePointer(std::u16string& text) {
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be UTF-16");
    return reinterpret_cast<SQLWCHAR*>(text.data());
}
