#include "cabinet/MakeFolder.h"

#include <filesystem>
#include <system_error>

#include "common/Paths.h"

int MakeFolder(const std::string& folder) {
    std::error_code ec;
    if (std::filesystem::create_directory(FsPath(folder), ec)) return 0;
    if (!ec) return 75;  // already there
    if (ec == std::errc::file_exists || ec == std::errc::permission_denied ||
        ec == std::errc::operation_not_permitted || ec == std::errc::read_only_file_system)
        return 75;
    if (ec == std::errc::no_such_file_or_directory) return 76;
    return 82;
}
