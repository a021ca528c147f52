#pragma once

#include <string>

// Read-only access to the per-user settings of the main program Tarvik, addressed by application
// name, section and key (as the platform's "GetSetting" does). The upgrade tool never writes
// settings.
//
// Where they live:
//   Windows: the registry key HKCU\Software\VB and VBA Program Settings\<app>\<section>,
//            value <key> (a string value).
//   Linux:   the INI file "${XDG_CONFIG_HOME:-$HOME/.config}/VB and VBA Program Settings/<app>.ini",
//            lines "[Section]" and "Key=value" (see settings_ini/IniSettingsStore.h).
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    // The stored value, or `defaultValue` when the application, section or key is absent.
    // A value stored empty is returned empty (it is not absent). Never raises.
    virtual std::string GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key,
                                   const std::string& defaultValue) const = 0;
};
