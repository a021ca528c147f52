#include <windows.h>

#include <string>

#include "platform/ProgramFolder.h"
#include "common/Utf16.h"

// The variable the system sets for every user's session; the wide call keeps Croatian letters
// of a user name whatever the ANSI code page.
std::string UserDataFolder() {
    const DWORD needed = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (needed == 0) return {};
    std::wstring folder(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), needed);
    if (length == 0 || length >= needed) return {};
    folder.resize(length);
    return Utf8FromWide(folder);
}
