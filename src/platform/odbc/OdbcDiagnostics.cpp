#include "platform/odbc/OdbcDiagnostics.h"

#include "platform/IDatabase.h"

namespace {

bool IsWarning(const OdbcDiagRecord& r) { return r.sqlState.rfind("01", 0) == 0; }

bool IsTimeout(const OdbcDiagRecord& r) { return r.sqlState == "HYT00" || r.sqlState == "HYT01"; }

// The numbers a client side puts on the connection states it raises itself: FreeTDS's own
// (20000 to 20099, e.g. 20017 "Unexpected EOF from the server") and the Windows socket
// errors of Microsoft's drivers (10000 to 11999, e.g. 10054). The server's own numbers under
// an 08 state (FreeTDS gives 911 "Database ... does not exist" 08004) are not among them.
bool IsClientNumber(int native) {
    return (native >= 20000 && native <= 20099) || (native >= 10000 && native <= 11999);
}

bool IsClientState(const OdbcDiagRecord& r) {
    return IsTimeout(r) || (r.sqlState.rfind("08", 0) == 0 && IsClientNumber(r.nativeError));
}

}  // namespace

bool IsServerError(const OdbcDiagRecord& r) {
    return !IsWarning(r) && r.nativeError != 0 && !IsClientState(r);
}

std::string StripVendorPrefixes(const std::string& message) {
    std::size_t pos = 0;
    while (pos < message.size() && message[pos] == '[') {
        const auto close = message.find(']', pos);
        if (close == std::string::npos) break;
        pos = close + 1;
    }
    return message.substr(pos);
}

AppError ClassifyOdbcError(const std::vector<OdbcDiagRecord>& records, const std::string& source) {
    for (const auto& r : records) {
        if (IsServerError(r))
            return {r.nativeError, source, StripVendorPrefixes(r.message)};
    }
    for (const auto& r : records) {
        if (IsTimeout(r)) return {DatabaseError::kTimeout, source, StripVendorPrefixes(r.message)};
    }
    for (const auto& r : records) {
        if (!IsWarning(r))
            return {DatabaseError::kDriverFailure, source, StripVendorPrefixes(r.message)};
    }
    // The call failed, yet every record is a warning: FreeTDS reports a connection lost in the
    // middle of a statement as 01000 with its own 20017 "Unexpected EOF from the server". That
    // message is the only account of the failure, so it is the one shown.
    for (const auto& r : records) {
        if (!r.message.empty())
            return {DatabaseError::kDriverFailure, source, StripVendorPrefixes(r.message)};
    }
    return {DatabaseError::kDriverFailure, source, "Unspecified error"};
}

std::optional<AppError> ErrorAmongInfo(const std::vector<OdbcDiagRecord>& records,
                                       const std::string& source) {
    for (const auto& r : records) {
        if (IsServerError(r)) return ClassifyOdbcError(records, source);
    }
    return std::nullopt;
}
