#include "cabinet/FolderTree.h"

#include "common/Paths.h"

namespace folder_tree {

std::string ParentOf(const std::string& relative) {
    const auto pos = relative.rfind(kPathSeparator);
    return pos == std::string::npos ? std::string() : relative.substr(0, pos);
}

void Ensure(IFileSystem& files, const std::string& root, const std::string& relativeIn) {
    std::string relative = relativeIn;
    while (!relative.empty() && relative.back() == kPathSeparator) relative.pop_back();
    if (relative.empty()) return;
    std::string::size_type pos = 0;
    for (;;) {
        pos = relative.find(kPathSeparator, pos);
        const std::string level = JoinPath(root, relative.substr(0, pos));
        if (!files.FolderExists(level)) files.CreateFolder(level);
        if (pos == std::string::npos) return;
        ++pos;
    }
}

bool IsEmpty(IFileSystem& files, const std::string& folder) {
    return files.ListFolder(folder).empty();
}

void Remove(IFileSystem& files, const std::string& folder) {
    // A link goes as a link: what it leads to is not ours to empty.
    if (files.IsLink(folder)) {
        files.Delete(folder);
        return;
    }
    if (!files.FolderExists(folder)) return;
    for (const FolderEntry& entry : files.ListFolder(folder)) {
        const std::string path = JoinPath(folder, entry.name);
        if (files.IsLink(path)) {
            files.Delete(path);
        } else if (entry.isFolder) {
            Remove(files, path);
        } else {
            files.SetNormalAttributes(path);
            files.Delete(path);
        }
    }
    files.RemoveFolder(folder);
}

}  // namespace folder_tree
