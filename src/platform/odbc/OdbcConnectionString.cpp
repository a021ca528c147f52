#include "platform/odbc/OdbcConnectionString.h"

#include <cstdlib>

namespace {

bool StartsWithLocal(const std::string& server) {
    static const std::string kLocal = "(local)";
    if (server.size() < kLocal.size()) return false;
    for (std::size_t i = 0; i < kLocal.size(); ++i) {
        char c = server[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != kLocal[i]) return false;
    }
    const bool whole = server.size() == kLocal.size();
    return whole || server[kLocal.size()] == ',' || server[kLocal.size()] == '\\';
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
    if (StartsWithLocal(server)) return "127.0.0.1" + server.substr(7);
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
    } else {
        s += "Encrypt=no;";
    }
    return s;
}
