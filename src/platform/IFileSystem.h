#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A file open for binary writing. Close is idempotent; the destructor closes too.
class IBinaryWriter {
public:
    virtual ~IBinaryWriter() = default;
    // Raise AppError when the bytes cannot be written.
    virtual void Write(const char* data, std::size_t size) = 0;
    virtual void Close() = 0;
};

// The file operations of the program folder. Paths are native. Failures raise AppError with
// the run-time error numbers of the program's file statements (53 file not found, 70
// permission denied, 75 path/file access error, 57 device I/O error).
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    virtual bool Exists(const std::string& path) = 0;
    virtual void Delete(const std::string& path) = 0;
    // Clears read-only, hidden and system: the file can then be replaced.
    virtual void SetNormalAttributes(const std::string& path) = 0;
    // Creates the file, or empties it, and opens it for writing from its first byte.
    virtual std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) = 0;
};

// Run-time error numbers and texts of the file statements.
namespace FileError {
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIo = 57;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr const char* kFileNotFoundText = "File not found";
inline constexpr const char* kDeviceIoText = "Device I/O error";
inline constexpr const char* kPermissionDeniedText = "Permission denied";
inline constexpr const char* kPathFileAccessText = "Path/File access error";
}  // namespace FileError
