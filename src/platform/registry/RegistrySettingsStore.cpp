#include "platform/registry/RegistrySettingsStore.h"

#include <windows.h>

#include <optional>
#include <string>

#include "common/Utf16.h"

namespace {

constexpr const wchar_t* kSettingsRoot = L"Software\\VB and VBA Program Settings\\";

// The string value, or nothing when the key or value is missing, is not a string, or cannot be
// read. The size is asked first and asked again if the value grew in between.
std::optional<std::wstring> ReadString(const std::wstring& subKey, const std::wstring& name) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD bytes = 0;
        LSTATUS rc = RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_REG_SZ,
                                  nullptr, nullptr, &bytes);
        if (rc != ERROR_SUCCESS) return std::nullopt;
        std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        rc = RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                          value.data(), &bytes);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return std::nullopt;
        // The byte count includes the terminating NUL that RegGetValue guarantees.
        value.resize(bytes / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0') value.pop_back();
        return value;
    }
    return std::nullopt;  // a value that keeps changing while read: treated as absent
}

}  // namespace

std::string RegistrySettingsStore::GetSetting(const std::string& app, const std::string& section,
                                              const std::string& key,
                                              const std::string& defaultValue) const {
    // Empty names would address the parent key or its default value, which hold no setting.
    if (app.empty() || section.empty() || key.empty()) return defaultValue;
    const std::wstring subKey = kSettingsRoot + WideFromUtf8(app) + L"\\" + WideFromUtf8(section);
    const auto value = ReadString(subKey, WideFromUtf8(key));
    return value ? Utf8FromWide(*value) : defaultValue;
}
