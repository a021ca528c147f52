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

// A snapshot without what a restore set aside (`<label>.before-restore/` below the backup
// folder), and without the backup folder itself when that is all it holds: the program's own
// files, to compare with the folder before an installation.
inline std::map<std::string, std::string> WithoutSetAside(std::map<std::string, std::string> entries) {
    std::erase_if(entries, [](const auto& entry) {
        return entry.first.find(".before-restore") != std::string::npos;
    });
    const std::string backups = "Tarvik_Upg.bak/";
    const auto folder = entries.find(backups);
    if (folder != entries.end()) {
        const auto next = std::next(folder);
        if (next == entries.end() || next->first.compare(0, backups.size(), backups) != 0)
            entries.erase(folder);
    }
    return entries;
}
