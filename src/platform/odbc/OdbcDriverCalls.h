#pragma once

#include "platform/odbc/OdbcHandles.h"

// The driver's own SQLMoreResults and SQLGetDiagRecW, called past the driver manager.
//
// When SQLExecDirect returns SQL_ERROR, the driver manager takes the statement back to its
// "no results" state and answers SQLMoreResults itself with SQL_NO_DATA (unixODBC and the
// Windows manager alike, as ODBC's state tables say), although the driver still holds the
// results of the batch's other statements. Closing the statement then makes the driver send
// an attention, and SQL Server drops the statements it has not run yet. The driver itself can
// still read those results, through its own entry points and its own statement handle
// (SQLGetInfo SQL_DRIVER_HSTMT), so that the whole batch runs.
class OdbcDriverCalls {
public:
    // Looks the driver of the open connection up; Available() is false when it cannot be
    // reached (a driver manager that does not tell, a driver not loaded where it was looked for).
    explicit OdbcDriverCalls(SQLHDBC dbc);

    bool Available() const { return moreResults_ != nullptr && getDiagRec_ != nullptr; }
    // The driver's statement handle for one of the manager's.
    SQLHSTMT DriverStatement(SQLHDBC dbc, SQLHSTMT managerStatement) const;
    SQLRETURN MoreResults(SQLHSTMT driverStatement) const { return moreResults_(driverStatement); }
    std::vector<OdbcDiagRecord> Diagnostics(SQLHSTMT driverStatement) const;

private:
    using MoreResultsFn = SQLRETURN(SQL_API*)(SQLHSTMT);
    MoreResultsFn moreResults_ = nullptr;
    GetDiagRecFn getDiagRec_ = nullptr;
};
