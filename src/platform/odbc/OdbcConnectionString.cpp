#include "platform/odbc/OdbcConnectionString.h"

#include <cstdlib>

namespace {

// The length of the name of this machine that the server text starts with ("(local)" in any
// letter case, or "."), when a ",port" or "\\instance" or nothing follows it; 0 otherwise.
std::size_t LocalPrefixLength(const std::string& server) {
    for (const std::string local : {"(local)", "."}) {
        if (server.size() < local.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < local.size() && same; ++i) {
            char c = server[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
            same = c == local[i];
        }
        if (!same) continue;
        if (server.size() == local.size() || server[local.size()] == ',' || server[local.size()] == '\\')
            return local.size();
    }
    return 0;
}

bool IsFreeTds(const std::string& driver) {
    std::string lower;
    for (char c : driver) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return lower.find("freetds") != std::string::npos || lower.find("tdsodbc") != std::string::npos;
}

}  // namespace

std::string OdbcDriverFromEnvironment() {
    const char* value = std::getenv(kOdbcDriverVariable);
    return value && *value ? value : kDefaultOdbcDriver;
}

std::string OdbcServerAddress(const std::string& server) {
    const std::size_t local = LocalPrefixLength(server);
    if (local > 0) return "127.0.0.1" + server.substr(local);
    return server;
}

std::string OdbcQuoteValue(const std::string& value) {
    const bool plain = value.find_first_of(";{}=") == std::string::npos &&
                       (value.empty() || (value.front() != ' ' && value.back() != ' '));
    if (plain) return value;
    std::string quoted = "{";
    for (char c : value) {
        quoted += c;
        if (c == '}') quoted += '}';
    }
    return quoted + "}";
}

std::string BuildOdbcConnectionString(const ConnectionSpec& spec, const std::string& driver) {
    // Driver names often hold blanks: always between braces.
    std::string s = "Driver={" + driver + "};Server=" +
                    OdbcQuoteValue(OdbcServerAddress(spec.server)) + ";Database=" +
                    OdbcQuoteValue(spec.database) + ";UID=" + OdbcQuoteValue(spec.user) +
                    ";PWD=" + OdbcQuoteValue(spec.password) + ";";
    if (!spec.language.empty()) s += "Language=" + OdbcQuoteValue(spec.language) + ";";
    if (IsFreeTds(driver)) {
        s += "TDS_Version=7.4;ClientCharset=UTF-8;";
    } else if (driver != "SQL Server") {
        // Microsoft's drivers: no encryption asked for, as the tool's old OLE DB provider never
        // asked; "no" also overrides ODBC Driver 18's default of "yes", which would fail against
        // a store's server that has only its self-made certificate. A server that forces
        // encryption still gets it, and its certificate is accepted unverified, as before.
        // (The old "SQL Server" driver knows neither keyword and never encrypts by default.)
        s += "Encrypt=no;TrustServerCertificate=yes;";
    }
    return s;
}
