#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/AppError.h"

// A file open for binary writing. Close is idempotent; the destructor closes too.
class IBinaryWriter {
public:
    virtual ~IBinaryWriter() = default;
    // Raise AppError when the bytes cannot be written.
    virtual void Write(const char* data, std::size_t size) = 0;
    virtual void Close() = 0;
    // Hands what was written so far to the system, so that it survives the end of this
    // process (not a power cut). Writers that keep nothing back need not do anything.
    virtual void Flush() {}
};

// The exclusive lock of a lock file, held as long as the object lives. The system drops it
// when the process ends in any way, so a crash never leaves a folder locked.
class IFileLock {
public:
    virtual ~IFileLock() = default;
};

// Size and last write time of a file, as the system keeps them.
struct FileStamp {
    std::int64_t size = -1;
    std::int64_t time = 0;  // the system's own unit; only compared for equality
    bool operator==(const FileStamp&) const = default;
};

// One entry of a folder listing.
struct FolderEntry {
    std::string name;  // without the folder
    bool isFolder = false;
};

// The file operations of the program folder. Paths are native. Failures raise AppError with
// the run-time error numbers of the program's file statements (53 file not found, 55 file
// already open, i.e. held by another program, 61 disk full, 70 permission denied, 75 path/file
// access error, 57 device I/O error).
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    virtual bool Exists(const std::string& path) = 0;
    virtual void Delete(const std::string& path) = 0;
    // Clears read-only, hidden and system: the file can then be replaced.
    virtual void SetNormalAttributes(const std::string& path) = 0;
    // Creates the file, or empties it, and opens it for writing from its first byte.
    virtual std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) = 0;
    // The whole content of a file.
    virtual std::string ReadAll(const std::string& path) = 0;

    // Moves a file or a folder to a new path on the same volume; its folder exists. One rename
    // of the system: the data is not copied. It never replaces what lies at `to`: that raises
    // 58 (file already exists). A link is moved as a link.
    virtual void Rename(const std::string& from, const std::string& to) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // Creates one folder level; a folder that is there already is no failure.
    virtual void CreateFolder(const std::string& path) = 0;
    // Removes an empty folder.
    virtual void RemoveFolder(const std::string& path) = 0;
    // The files and folders directly inside, in no particular order.
    virtual std::vector<FolderEntry> ListFolder(const std::string& path) = 0;
    // Keeps a file or folder out of the user's view of its folder where the platform has such a
    // mark; elsewhere (a dot at the start of the name does it there) nothing happens.
    virtual void SetHidden(const std::string& path) = 0;

    // True when the path itself is a symbolic link or junction (not followed).
    virtual bool IsLink(const std::string& /*path*/) { return false; }
    // Takes the exclusive lock of the file (made when missing), never waiting: nothing when
    // another process holds it. Raises AppError when the file cannot be opened or made. The
    // default, for file systems of tests that do not lock, always grants it.
    virtual std::unique_ptr<IFileLock> TryLock(const std::string& path);
    // True when another process has the file open (a running program's image, a file held
    // by the till). A platform that cannot tell answers false.
    virtual bool HeldOpenElsewhere(const std::string& /*path*/) { return false; }
    // Opens a file for writing at its end (made when missing): what it held stays. Raises
    // AppError when it cannot be opened; the default, for file systems of tests, always does.
    virtual std::unique_ptr<IBinaryWriter> OpenForAppend(const std::string& path);
    // Raises AppError (53) when there is no such file.
    virtual FileStamp Stamp(const std::string& path);
    // True when a file can be made in the folder (tried, then removed again).
    virtual bool FolderWritable(const std::string& /*folder*/) { return true; }
    // How long an operation that failed so may be tried again: a file held only for a moment
    // (a virus scanner, the search indexer) lets go within seconds. Zero where the error is
    // final on the platform.
    virtual std::chrono::milliseconds PatienceFor(const AppError& /*error*/) {
        return std::chrono::milliseconds(0);
    }
    // Waits between tries; a test lets the time pass without spending it.
    virtual void Pause(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }
};

inline std::unique_ptr<IFileLock> IFileSystem::TryLock(const std::string&) {
    return std::make_unique<IFileLock>();
}
inline FileStamp IFileSystem::Stamp(const std::string&) { return {}; }

// Run-time error numbers and texts of the file statements.
namespace FileError {
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIo = 57;
inline constexpr int kDiskFull = 61;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kFileAlreadyExists = 58;
inline constexpr int kPathFileAccess = 75;
inline constexpr const char* kFileNotFoundText = "File not found";
inline constexpr const char* kFileAlreadyOpenText = "File already open";
inline constexpr const char* kDeviceIoText = "Device I/O error";
inline constexpr const char* kDiskFullText = "Disk full";
inline constexpr const char* kPermissionDeniedText = "Permission denied";
inline constexpr const char* kFileAlreadyExistsText = "File already exists";
inline constexpr const char* kPathFileAccessText = "Path/File access error";
}  // namespace FileError

inline std::unique_ptr<IBinaryWriter> IFileSystem::OpenForAppend(const std::string&) {
    throw AppError(FileError::kPathFileAccess, "FileSystem", FileError::kPathFileAccessText);
}
