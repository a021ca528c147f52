#include "cabinet/Callback.h"

#include <vector>

#include "cabinet/CabFile.h"
#include "cabinet/MakeFolder.h"
#include "common/Paths.h"

namespace Callback {
namespace {
CabFile* currentCabFile = nullptr;

constexpr int kCreated = 0;
constexpr int kExistsOrRefused = 75;
constexpr int kParentMissing = 76;

std::vector<std::string> SplitAll(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto pos = text.find(separator, start);
        parts.push_back(text.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
        if (pos == std::string::npos) return parts;
        start = pos + 1;
    }
}
}  // namespace

CabFile* CurrentCabFile() { return currentCabFile; }
void SetCurrentCabFile(CabFile* cab) { currentCabFile = cab; }

std::uint32_t CabinetCallback(std::uintptr_t context, std::uint32_t notification,
                              std::uintptr_t param1, std::uintptr_t param2) noexcept {
    if (currentCabFile == nullptr) return 0;
    return currentCabFile->CabCallBack(static_cast<std::uint32_t>(context), notification, param1,
                                       param2);
}

void SplitPath(std::string_view path, std::string& folder, std::string& name, char separator) {
    const auto pos = path.rfind(separator);
    if (pos == std::string_view::npos) {
        folder.clear();
        name = std::string(path);
        return;
    }
    folder = std::string(path.substr(0, pos + 1));
    name = std::string(path.substr(pos + 1));
}

std::string AddBackslash(std::string_view path, char separator) {
    std::string out(path);
    if (out.empty() || out.back() != separator) out.push_back(separator);
    return out;
}

bool CreateFolderPath(const std::string& folderIn, const FolderMaker& makeFolder) {
    if (folderIn.empty()) return false;
    std::string folder = folderIn;
    if (folder.back() == kPathSeparator) folder.pop_back();

    const int first = makeFolder(folder);
    if (first == kCreated || first == kExistsOrRefused) return true;
    if (first != kParentMissing) return false;

    // Walk up to the deepest level that exists, then create the missing ones going down.
    const std::vector<std::string> parts = SplitAll(folder, kPathSeparator);
    const int u = static_cast<int>(parts.size()) - 1;
    auto prefixOf = [&](int j) {
        std::string prefix;
        for (int i = 0; i <= j; ++i) prefix += kPathSeparator + parts[static_cast<std::size_t>(i)];
        // A leading separator stands for an absolute root only when the path began with one.
        return prefix.size() > 1 ? prefix.substr(1) : prefix;
    };
    int j = u - 1;
    for (; j >= 0; --j) {
        const int result = makeFolder(prefixOf(j));
        if (result == kCreated || result == kExistsOrRefused) break;
        if (result != kParentMissing) return false;
    }
    if (j < 0) return false;
    std::string prefix = prefixOf(j);
    for (int k = j + 1; k <= u; ++k) {
        prefix += kPathSeparator + parts[static_cast<std::size_t>(k)];
        if (makeFolder(prefix) != kCreated) return false;
    }
    return true;
}

bool CreateFolderPath(const std::string& folder) { return CreateFolderPath(folder, MakeFolder); }

}  // namespace Callback
