#include <windows.h>

#include <string>

#include "platform/ProgramFolder.h"
#include "common/Utf16.h"

namespace {

// Started through a short (8.3) path, the system names the module by it: "TARV~1" would then
// be the folder's name, and the name the main program's settings are looked up under. The
// long form names every level as it is written on disk; where the system cannot give it, the
// path stays as it came.
std::wstring LongForm(const std::wstring& path) {
    const DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return path;
    std::wstring longPath(needed, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), longPath.data(), needed);
    if (length == 0 || length >= needed) return path;
    longPath.resize(length);
    return longPath;
}

}  // namespace

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
    path = LongForm(path);
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    // "C:\" keeps its separator: a root folder is written with one.
    const std::wstring folder = path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
    return Utf8FromWide(folder);
}
