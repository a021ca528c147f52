#include "platform/setupapi/AnsiPaths.h"

#include <windows.h>

namespace ansi_paths {

bool IsAnsiSafe(const std::wstring& path) {
    if (path.empty()) return true;
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(),
                                           static_cast<int>(path.size()), nullptr, 0, nullptr,
                                           &lossy);
    return length > 0 && !lossy;
}

std::optional<std::wstring> FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::nullopt;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return std::nullopt;
    full.resize(length);
    return full;
}

std::optional<std::wstring> AnsiForm(const std::wstring& existingPath) {
    // A relative name is only safe as far as the working folder is: "Tn_302_303.cab" inside
    // "Škola Čakovec" reaches the library as a name it resolves in the ANSI form of a folder
    // that has none. The whole path is judged, and shortened if need be.
    const auto full = FullPath(existingPath);
    if (!full) return std::nullopt;
    if (IsAnsiSafe(*full)) return *full;
    const DWORD needed = GetShortPathNameW(full->c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring shortPath(needed, L'\0');
    const DWORD length = GetShortPathNameW(full->c_str(), shortPath.data(), needed);
    if (length == 0 || length >= needed) return std::nullopt;
    shortPath.resize(length);
    if (!IsAnsiSafe(shortPath)) return std::nullopt;
    return shortPath;
}

std::optional<std::wstring> AnsiTempFolder() {
    WCHAR folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    return AnsiForm(std::wstring(folder, length));
}

}  // namespace ansi_paths
