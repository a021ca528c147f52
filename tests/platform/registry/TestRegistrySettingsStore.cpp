#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/registry/RegistrySettingsStore.h"
#include "common/Utf16.h"

namespace {

// Settings are written the way an administrator or a test on a real machine would: with the
// system's own reg.exe (under Wine, Wine's), under an application name of this run's own.
class RegistrySettings {
public:
    RegistrySettings() : app_(L"VelmoraTest" + std::to_wstring(GetCurrentProcessId())) {}
    ~RegistrySettings() { Reg(L"delete \"" + AppKey() + L"\" /f"); }

    std::string App() const { return Utf8FromWide(app_); }

    void Add(const std::wstring& section, const std::wstring& key, const std::wstring& type,
             const std::wstring& data) {
        ASSERT_EQ(Reg(L"add \"" + AppKey() + L"\\" + section + L"\" /v \"" + key + L"\" /t " +
                      type + L" /d \"" + data + L"\" /f"),
                  0u)
            << Utf8FromWide(section) << "/" << Utf8FromWide(key);
    }

private:
    std::wstring AppKey() const {
        return L"HKCU\\Software\\VB and VBA Program Settings\\" + app_;
    }

    // Runs reg.exe with the arguments and returns its exit code.
    static DWORD Reg(const std::wstring& arguments) {
        std::wstring command = L"reg.exe " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &process))
            return GetLastError();
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }

    std::wstring app_;
};

struct ReadCase {
    const char* label;
    std::string section;
    std::string key;
    std::string expected;
};

TEST(RegistrySettingsStore, ReadsWhatTheMainProgramStored) {
    RegistrySettings registry;
    registry.Add(L"PutBaza", L"PutBaza", L"REG_SZ", L"C:\\Tarvik\\Baze");
    registry.Add(L"ImeServera", L"ImeServera", L"REG_SZ", L"");
    registry.Add(L"TipServera", L"TipServera", L"REG_DWORD", L"1");
    registry.Add(L"Mjesto", L"Grad", L"REG_SZ", L"Čakovec Đurđevac Šibenik Žabljak ćevap");
    registry.Add(L"Skladište", L"Šifra", L"REG_SZ", L"ž");
    registry.Add(L"Dugo", L"Dugo", L"REG_SZ", std::wstring(3000, L'x'));

    const RegistrySettingsStore store;
    const std::vector<ReadCase> cases = {
        {"a string value", "PutBaza", "PutBaza", "C:\\Tarvik\\Baze"},
        {"stored empty stays empty", "ImeServera", "ImeServera", ""},
        {"not a string: absent", "TipServera", "TipServera", "<default>"},
        {"Croatian letters in the value", "Mjesto", "Grad", "Čakovec Đurđevac Šibenik Žabljak ćevap"},
        {"Croatian letters in section and key", "Skladište", "Šifra", "ž"},
        {"a value longer than a first guess", "Dugo", "Dugo", std::string(3000, 'x')},
        {"key absent", "PutBaza", "Nema", "<default>"},
        {"section absent", "Nema", "PutBaza", "<default>"},
        {"section named in another letter case", "putbaza", "PUTBAZA", "C:\\Tarvik\\Baze"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(store.GetSetting(registry.App(), c.section, c.key, "<default>"), c.expected)
            << c.label;
}

TEST(RegistrySettingsStore, AnAbsentApplicationGivesEveryDefault) {
    const RegistrySettingsStore store;
    EXPECT_EQ(store.GetSetting("VelmoraNoSuchApplication", "PutBaza", "PutBaza", ""), "");
    EXPECT_EQ(store.GetSetting("VelmoraNoSuchApplication", "TipServera", "TipServera", "-1"), "-1");
}

}  // namespace
