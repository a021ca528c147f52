#pragma once

#include <string>
#include <vector>

#include "common/AppError.h"

// One diagnostic record of an ODBC handle.
struct OdbcDiagRecord {
    std::string sqlState;  // five characters, e.g. "42000", "HYT00", "08S01"
    int nativeError = 0;   // the server's own error number, 0 when the driver raised it
    std::string message;   // UTF-8, with the driver's "[vendor][component]" prefixes
};

// The error the user is shown for the records of a failed call:
// - a record from the server (a native number, and not a time-out or connection state) gives its
//   own number and message: a refused login is 18456, an unknown database 4060;
// - otherwise a time-out (HYT00, HYT01) gives DatabaseError::kTimeout, and any other driver
//   error (08001 cannot connect, 08S01 connection lost, ...) DatabaseError::kDriverFailure,
//   with the driver's message.
// Warnings (class "01") are passed over, unless they are all there is: then the first warning's
// message is the driver's account of the failure (FreeTDS's 20017 "Unexpected EOF from the
// server" for a lost connection comes as 01000). The message loses its leading bracketed prefixes.
AppError ClassifyOdbcError(const std::vector<OdbcDiagRecord>& records, const std::string& source);

// "[FreeTDS][SQL Server]Login failed" -> "Login failed".
std::string StripVendorPrefixes(const std::string& message);
