#pragma once

#include <string>

#include "platform/ISettingsStore.h"

// The main program's settings on Windows, where the program itself keeps them: the registry key
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>, string value <key>.
// Read through the wide calls, so Croatian letters in names and values survive whatever the
// machine's code page. Only string values count: a value of another type is taken as absent,
// as the main program itself would not have written it.
class RegistrySettingsStore : public ISettingsStore {
public:
    RegistrySettingsStore() = default;

    std::string GetSetting(const std::string& app, const std::string& section,
                           const std::string& key,
                           const std::string& defaultValue) const override;
};
