#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/AppError.h"

// One diagnostic record of an ODBC handle.
struct OdbcDiagRecord {
    std::string sqlState;  // five characters, e.g. "42000", "HYT00", "08S01"
    int nativeError = 0;   // the server's own error number, 0 when the driver raised it
    std::string message;   // UTF-8, with the driver's "[vendor][component]" prefixes
};

// Whether a record is an error the server raised: a native number, a state outside class 01
// (SQL Server's drivers give its messages of severity 10 or less as 01000), and neither a
// time-out nor a connection state that the client side numbered itself. An 08 state with the
// server's own number is the server's: FreeTDS reports 911 "Database ... does not exist" as
// 08004.
bool IsServerError(const OdbcDiagRecord& record);

// The error the user is shown for the records of a failed call:
// - a record from the server (IsServerError) gives its own number and message: a refused
//   login is 18456, an unknown database 4060, a missing one 911;
// - otherwise a time-out (HYT00, HYT01) gives DatabaseError::kTimeout, and any other driver
//   error (08001 cannot connect, 08S01 connection lost, ...) DatabaseError::kDriverFailure,
//   with the driver's message.
// Warnings (class "01") are passed over, unless they are all there is: then the first warning's
// message is the driver's account of the failure (FreeTDS's 20017 "Unexpected EOF from the
// server" for a lost connection comes as 01000). The message loses its leading bracketed prefixes.
AppError ClassifyOdbcError(const std::vector<OdbcDiagRecord>& records, const std::string& source);

// The records of a call that returned SQL_SUCCESS_WITH_INFO: an error when any of them is the
// server's error (IsServerError), as ODBC's rules, the old "SQL Server" driver and a corrected
// Microsoft driver report a statement that failed in the middle of a batch; none when they are
// all info messages (5701 "Changed database context", PRINT, severity 10 or less).
std::optional<AppError> ErrorAmongInfo(const std::vector<OdbcDiagRecord>& records,
                                       const std::string& source);

// "[FreeTDS][SQL Server]Login failed" -> "Login failed".
std::string StripVendorPrefixes(const std::string& message);
