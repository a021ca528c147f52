#include "platform/odbc/OdbcDriverChoice.h"

#include <cstdlib>

#include "platform/odbc/OdbcConnectionString.h"
#include "platform/odbc/OdbcHandles.h"

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::string BestSqlServerDriver(const std::vector<std::string>& installed) {
    for (const char* wanted : kSqlServerDriversBestFirst) {
        for (const std::string& name : installed)
            if (SameIgnoringCase(name, wanted)) return wanted;
    }
    return std::end(kSqlServerDriversBestFirst)[-1];
}

std::vector<std::string> InstalledOdbcDrivers() {
    std::vector<std::string> names;
    try {
        OdbcEnvironment env;
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        for (;;) {
            std::u16string name(256, u'\0');
            std::u16string attributes(1024, u'\0');
            SQLSMALLINT nameLength = 0, attributesLength = 0;
            const SQLRETURN rc = SQLDriversW(env.handle, direction, WidePointer(name),
                                             static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                             WidePointer(attributes),
                                             static_cast<SQLSMALLINT>(attributes.size()),
                                             &attributesLength);
            if (!SQL_SUCCEEDED(rc)) break;  // SQL_NO_DATA after the last driver
            name.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)),
                                              name.size() - 1));
            names.push_back(Utf16ToUtf8(name));
            direction = SQL_FETCH_NEXT;
        }
    } catch (const AppError&) {
        // No driver manager: nothing is known to be installed, and the caller falls back to the
        // driver every Windows has; opening the connection then reports the real failure.
    }
    return names;
}

std::string ChooseOdbcDriver() {
    const char* named = std::getenv(kOdbcDriverVariable);
    if (named != nullptr && *named != '\0') return named;
    return BestSqlServerDriver(InstalledOdbcDrivers());
}
