#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

// Every file (with its bytes) and every folder below a folder, hidden ones included: two
// snapshots are equal only when the folder is the same byte for byte.
inline std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string relative = std::filesystem::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            entries[relative + "/"] = "";
        } else {
            std::ifstream in(entry.path(), std::ios::binary);
            entries[relative] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    return entries;
}
