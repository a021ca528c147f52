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

std::optional<std::wstring> AnsiForm(const std::wstring& existingPath) {
    if (IsAnsiSafe(existingPath)) return existingPath;
    const DWORD needed = GetShortPathNameW(existingPath.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring shortPath(needed, L'\0');
    const DWORD length = GetShortPathNameW(existingPath.c_str(), shortPath.data(), needed);
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
