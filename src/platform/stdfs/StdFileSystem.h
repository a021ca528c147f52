#pragma once

#include "platform/IFileSystem.h"

// IFileSystem over std::filesystem and std::ofstream. Where the platform has no hidden or
// system bit, "normal attributes" means writable by its owner.
class StdFileSystem : public IFileSystem {
public:
    bool Exists(const std::string& path) override;
    void Delete(const std::string& path) override;
    void SetNormalAttributes(const std::string& path) override;
    std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) override;
    std::unique_ptr<IBinaryWriter> OpenForAppend(const std::string& path) override;
    std::string ReadAll(const std::string& path) override;
    void Rename(const std::string& from, const std::string& to) override;
    bool FolderExists(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
    void RemoveFolder(const std::string& path) override;
    std::vector<FolderEntry> ListFolder(const std::string& path) override;
    void SetHidden(const std::string& path) override;
    bool IsLink(const std::string& path) override;
    std::unique_ptr<IFileLock> TryLock(const std::string& path) override;
    bool HeldOpenElsewhere(const std::string& path) override;
    FileStamp Stamp(const std::string& path) override;
    bool FolderWritable(const std::string& folder) override;
    std::chrono::milliseconds PatienceFor(const AppError& error) override;
};
