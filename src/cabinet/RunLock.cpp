#include "cabinet/RunLock.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "cabinet/CabErrors.h"
#include "cabinet/InstallLayout.h"
#include "common/AppError.h"
#include "common/Paths.h"

namespace {

// The holds of this process, by folder. A second lock of the same file from this process
// would be refused like another process's, so the run's own installation joins its hold.
std::mutex holdsMutex;
std::map<std::string, std::weak_ptr<RunLock>>& Holds() {
    static std::map<std::string, std::weak_ptr<RunLock>> holds;
    return holds;
}

// "Prog", "./Prog" and the absolute path are one folder.
std::string KeyOf(const std::string& folder) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(FsPath(folder), ec);
    return ec ? folder : Utf8Path(canonical);
}

}  // namespace

std::string RunLock::PathIn(const std::string& programFolder) {
    return JoinPath(programFolder, install_layout::kLock);
}

RunLock::RunLock(std::string key, std::unique_ptr<IFileLock> lock)
    : key_(std::move(key)), lock_(std::move(lock)) {}

RunLock::~RunLock() {
    const std::lock_guard<std::mutex> guard(holdsMutex);
    auto& holds = Holds();
    const auto it = holds.find(key_);
    if (it != holds.end() && it->second.expired()) holds.erase(it);
}

std::shared_ptr<RunLock> RunLock::Take(IFileSystem& files, const std::string& programFolder) {
    const std::string key = KeyOf(programFolder);
    const std::lock_guard<std::mutex> guard(holdsMutex);
    auto& holds = Holds();
    if (auto held = holds[key].lock()) return held;
    std::unique_ptr<IFileLock> lock = files.TryLock(PathIn(programFolder));
    if (!lock) return nullptr;
    std::shared_ptr<RunLock> hold(new RunLock(key, std::move(lock)));
    holds[key] = hold;
    return hold;
}

std::shared_ptr<RunLock> RunLock::Hold(IFileSystem& files, const std::string& programFolder,
                                       const char* source,
                                       const std::function<void(const std::string&)>& note) {
    constexpr std::int32_t kSharingViolation = 32;
    std::shared_ptr<RunLock> hold = Take(files, programFolder);
    if (!hold) {
        note("another run of the upgrade holds this program folder; nothing changed");
        throw AppError(kSharingViolation, source, WinErrorText(kSharingViolation));
    }
    return hold;
}
