#include "database/ConnectionSettings.h"

#include <cmath>

#include "common/Strings.h"

namespace {

constexpr const char* kSource = "Konekcija";
constexpr const char* kSaPassword = "KolVanDuaMerTis";

AppError TypeMismatch() { return {13, kSource, "Type mismatch"}; }

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
    // Long texts of digits are far outside the range: no need to parse them exactly.
    const long double value = std::strtold(trimmed.c_str(), nullptr);
    const long double rounded = std::nearbyint(value);  // the default mode rounds half to even
    if (rounded < -32768.0L || rounded > 32767.0L) throw AppError(6, kSource, "Overflow");
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
