#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// A file open for binary writing. Close is idempotent; the destructor closes too.
class IBinaryWriter {
public:
    virtual ~IBinaryWriter() = default;
    // Raise AppError when the bytes cannot be written.
    virtual void Write(const char* data, std::size_t size) = 0;
    virtual void Close() = 0;
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

    // Moves a file or a folder to a new path on the same volume; nothing lies at `to` yet, and
    // its folder exists. One rename of the system: the data is not copied.
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
};

// The file system of the program folder in this build.
IFileSystem& ProgramFileSystem();

// Run-time error numbers and texts of the file statements.
namespace FileError {
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIo = 57;
inline constexpr int kDiskFull = 61;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr const char* kFileNotFoundText = "File not found";
inline constexpr const char* kFileAlreadyOpenText = "File already open";
inline constexpr const char* kDeviceIoText = "Device I/O error";
inline constexpr const char* kDiskFullText = "Disk full";
inline constexpr const char* kPermissionDeniedText = "Permission denied";
inline constexpr const char* kPathFileAccessText = "Path/File access error";
}  // namespace FileError
