#pragma once

#include <string>

#include "platform/ISettingsStore.h"

// The settings of an application as a UTF-8 INI file, the Linux counterpart of the registry key
// HKCU\Software\VB and VBA Program Settings\<app>\<section>:
//
//   ${XDG_CONFIG_HOME:-$HOME/.config}/VB and VBA Program Settings/<app>.ini
//
//   [PutBaza]
//   PutBaza=/srv/tarvik
//   [ImeServera]
//   ImeServera=127.0.0.1,1433
//
// Section and key names ignore letter case, as registry names do. The value is everything after
// the first "=" of the line (blanks included, a CR before the line end dropped). Lines starting
// with ";" or "#" and lines without "=" are ignored, and so is a byte-order mark at the start.
// The file is read afresh on every call, so a store that was corrected while the program waits
// is seen.
class IniSettingsStore : public ISettingsStore {
public:
    // The folder from XDG_CONFIG_HOME, or from HOME, at construction.
    IniSettingsStore();
    // The "VB and VBA Program Settings" folder given explicitly.
    explicit IniSettingsStore(std::string settingsFolder);

    std::string GetSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& defaultValue) const override;

    std::string FilePath(const std::string& app) const;

    // The default folder for the given environment values (either may be empty).
    static std::string DefaultFolder(const std::string& xdgConfigHome, const std::string& home);

private:
    std::string folder_;
};
