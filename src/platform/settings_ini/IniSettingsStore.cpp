#include "platform/settings_ini/IniSettingsStore.h"

#include <cstdlib>
#include <fstream>
#include <optional>

#include "common/Paths.h"
#include "common/Strings.h"

namespace {

constexpr const char* kSettingsFolderName = "VB and VBA Program Settings";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// ASCII case folding is enough: the program's own section and key names are ASCII.
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::optional<std::string> FindValue(std::istream& in, const std::string& section,
                                     const std::string& key) {
    bool inSection = false;
    bool first = true;
    std::string line;
    while (std::getline(in, line)) {
        // Windows editors often start a UTF-8 file with a byte-order mark; it is no part of the
        // first section's name.
        if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        first = false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string trimmed = TrimBlanks(line);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
        if (trimmed.front() == '[' && trimmed.back() == ']') {
            inSection = EqualsIgnoringCase(TrimBlanks(trimmed.substr(1, trimmed.size() - 2)), section);
            continue;
        }
        const auto eq = line.find('=');
        if (!inSection || eq == std::string::npos) continue;
        if (EqualsIgnoringCase(TrimBlanks(line.substr(0, eq)), key)) return line.substr(eq + 1);
    }
    return std::nullopt;
}

}  // namespace

IniSettingsStore::IniSettingsStore()
    : folder_(DefaultFolder(Env("XDG_CONFIG_HOME"), Env("HOME"))) {}

IniSettingsStore::IniSettingsStore(std::string settingsFolder) : folder_(std::move(settingsFolder)) {}

std::string IniSettingsStore::DefaultFolder(const std::string& xdgConfigHome,
                                            const std::string& home) {
    const std::string base = !xdgConfigHome.empty() ? xdgConfigHome : JoinPath(home, ".config");
    return JoinPath(base, kSettingsFolderName);
}

std::string IniSettingsStore::FilePath(const std::string& app) const {
    return JoinPath(folder_, app + ".ini");
}

std::string IniSettingsStore::GetSetting(const std::string& app, const std::string& section,
                                         const std::string& key,
                                         const std::string& defaultValue) const {
    // An empty application name addresses no key at all (the registry has no such subkey).
    if (app.empty()) return defaultValue;
    std::ifstream in(FilePath(app), std::ios::binary);
    if (!in) return defaultValue;
    return FindValue(in, section, key).value_or(defaultValue);
}
