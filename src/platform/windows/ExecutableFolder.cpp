#include <windows.h>

#include <string>

#include "platform/ProgramFolder.h"
#include "platform/windows/WideString.h"

// The module path through the wide call, so a program folder with Croatian letters is found
// whatever the machine's ANSI code page. Paths longer than MAX_PATH are allowed for.
std::string ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return {};  // longer than any Windows path can be
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    // "C:\" keeps its separator: a root folder is written with one.
    const std::wstring folder = path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
    return Utf8FromWide(folder);
}
