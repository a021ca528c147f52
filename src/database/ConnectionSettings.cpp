#include "database/ConnectionSettings.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "common/Strings.h"

namespace {

constexpr const char* kSource = "Konekcija";
constexpr const char* kSaPassword = "KolVanDuaMerTis";

AppError TypeMismatch() {
    return {RuntimeError::kTypeMismatch, kSource, RuntimeError::kTypeMismatchText};
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Sign, digits and an optional fraction; nothing else.
bool IsDecimalNumber(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    while (i < s.size() && IsDigit(s[i])) { ++i; digits = true; }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) { ++i; digits = true; }
    }
    return digits && i == s.size();
}

std::string Setting(const ISettingsStore& store, const std::string& app, const char* name,
                    const char* defaultValue) {
    return store.GetSetting(app, name, name, defaultValue);
}

}  // namespace

std::int16_t ToInteger16(std::string_view text) {
    const std::string trimmed = TrimBlanks(text);
    if (!IsDecimalNumber(trimmed)) throw TypeMismatch();
    // Read with "." as the decimal point whatever the C library's locale says: the window
    // program takes the user's locale (a Croatian one writes decimals with a comma), and the
    // same setting must give the same number in every program.
    std::string_view number = trimmed;
    if (number.front() == '+') number.remove_prefix(1);
    double value = 0;
    const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
    // Long texts of digits are far outside the range: no need to parse them exactly.
    if (parsed.ec == std::errc::result_out_of_range) {
        throw AppError(RuntimeError::kOverflow, kSource, RuntimeError::kOverflowText);
    }
    if (parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) throw TypeMismatch();
    const double rounded = std::nearbyint(value);  // the default mode rounds half to even
    if (rounded < -32768.0 || rounded > 32767.0) {
        throw AppError(RuntimeError::kOverflow, kSource, RuntimeError::kOverflowText);
    }
    return static_cast<std::int16_t>(rounded);
}

ConnectionSettings ReadConnectionSettings(const ISettingsStore& store, const std::string& app) {
    ConnectionSettings s;
    s.databasePath = Setting(store, app, "PutBaza", "");
    s.serverName = Setting(store, app, "ImeServera", "");
    if (s.serverName.empty()) s.serverName = kLocalServer;
    s.serverType = ToInteger16(Setting(store, app, "TipServera", "-1"));
    return s;
}

std::string PasswordFor(std::int16_t serverType) { return serverType == 1 ? kSaPassword : ""; }

ConnectionSpec MakeConnectionSpec(const ConnectionSettings& settings, const std::string& database,
                                  int commandTimeoutSeconds) {
    ConnectionSpec spec;
    spec.server = settings.serverName;
    spec.database = database;
    spec.user = kLoginName;
    spec.password = PasswordFor(settings.serverType);
    spec.language = kServerLanguage;
    spec.commandTimeoutSeconds = commandTimeoutSeconds;
    return spec;
}

std::string DescribeConnection(const ConnectionSpec& spec) {
    return "server " + spec.server + ", database " + spec.database + ", login " + spec.user +
           ", password " + (spec.password.empty() ? "empty" : "fixed") + ", command time-out " +
           std::to_string(spec.commandTimeoutSeconds) + " s";
}
