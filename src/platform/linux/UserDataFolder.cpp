#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/ProgramFolder.h"

// The user's data folder as the desktop defines it: $XDG_DATA_HOME, or ~/.local/share when that
// is not set (a relative value is to be ignored). A program folder installed by another user,
// or made read-only, is not writable to the user at the till; the folder is made when missing,
// as a fresh account has none.
std::string UserDataFolder() {
    namespace fs = std::filesystem;
    fs::path folder;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        folder = data;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        folder = fs::path(home) / ".local" / "share";
    else
        return {};
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) return {};
    return folder.string();
}
