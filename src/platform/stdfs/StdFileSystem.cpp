#include "platform/stdfs/StdFileSystem.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char* kSource = "FileSystem";

// The descriptions are the file statements' own short texts; the caller knows the path.
[[noreturn]] void Raise(int number, const char* text) {
    throw AppError(number, kSource, text);
}

// The file statements' number for a failed rename, folder or listing operation.
[[noreturn]] void RaiseFor(const std::error_code& ec) {
    const int value = ec.value();
#ifdef _WIN32
    // A file another program holds open without sharing (Tarvik.exe running at the till).
    if (ec.category() == std::system_category() &&
        (value == ERROR_SHARING_VIOLATION || value == ERROR_LOCK_VIOLATION))
        Raise(FileError::kFileAlreadyOpen, FileError::kFileAlreadyOpenText);
#endif
#ifdef _WIN32
    if (ec.category() == std::system_category()) {
        switch (value) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: Raise(FileError::kPermissionDenied, FileError::kPermissionDeniedText);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: Raise(FileError::kDiskFull, FileError::kDiskFullText);
        default: break;
        }
    }
#endif
    (void)value;
    if (ec == std::errc::device_or_resource_busy || ec == std::errc::text_file_busy)
        Raise(FileError::kFileAlreadyOpen, FileError::kFileAlreadyOpenText);
    if (ec == std::errc::no_such_file_or_directory)
        Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    if (ec == std::errc::no_space_on_device)
        Raise(FileError::kDiskFull, FileError::kDiskFullText);
    // A file cannot take the place of a folder: refused, as the platform with drive letters
    // refuses it.
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
        ec == std::errc::read_only_file_system || ec == std::errc::is_a_directory)
        Raise(FileError::kPermissionDenied, FileError::kPermissionDeniedText);
    if (ec == std::errc::io_error) Raise(FileError::kDeviceIo, FileError::kDeviceIoText);
    Raise(FileError::kPathFileAccess, FileError::kPathFileAccessText);
}

class StdBinaryWriter : public IBinaryWriter {
public:
    explicit StdBinaryWriter(const std::string& path) : buffer_(kBufferSize) {
        // Downloads write 512 bytes at a time: a larger buffer turns them into few system calls.
        out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        out_.open(path, std::ios::binary | std::ios::trunc);
        if (!out_) Raise(FileError::kPathFileAccess, FileError::kPathFileAccessText);
    }
    ~StdBinaryWriter() override {
        // A failed flush at destruction has nobody left to tell; Close reports it to callers.
        if (out_.is_open()) out_.close();
    }
    void Write(const char* data, std::size_t size) override {
        if (size == 0) return;
        out_.write(data, static_cast<std::streamsize>(size));
        if (!out_) Raise(FileError::kDeviceIo, FileError::kDeviceIoText);
    }
    void Close() override {
        if (!out_.is_open()) return;
        out_.close();
        if (!out_) Raise(FileError::kDeviceIo, FileError::kDeviceIoText);
    }

private:
    static constexpr std::size_t kBufferSize = 64 * 1024;
    std::vector<char> buffer_;  // declared before the stream, so it outlives it
    std::ofstream out_;
};

}  // namespace

bool StdFileSystem::Exists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

void StdFileSystem::Delete(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    if (!fs::remove(path, ec) || ec) {
        Raise(FileError::kPermissionDenied, FileError::kPermissionDeniedText);
    }
}

void StdFileSystem::SetNormalAttributes(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    if (ec) Raise(FileError::kPermissionDenied, FileError::kPermissionDeniedText);
}

std::unique_ptr<IBinaryWriter> StdFileSystem::OpenForWrite(const std::string& path) {
    return std::make_unique<StdBinaryWriter>(path);
}

std::string StdFileSystem::ReadAll(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Raise(FileError::kDeviceIo, FileError::kDeviceIoText);
    return bytes;
}

void StdFileSystem::Rename(const std::string& from, const std::string& to) {
#ifdef _WIN32
    // The MinGW standard library reports a file held open by another program as a plain I/O
    // error (measured under Wine): the system's own call keeps the sharing violation, which the
    // user is told about by name.
    if (MoveFileExW(FsPath(from).c_str(), FsPath(to).c_str(), 0)) return;
    RaiseFor(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
#else
    std::error_code ec;
    fs::rename(FsPath(from), FsPath(to), ec);
    if (ec) RaiseFor(ec);
#endif
}

bool StdFileSystem::FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(FsPath(path), ec);
}

void StdFileSystem::CreateFolder(const std::string& path) {
    std::error_code ec;
    fs::create_directory(FsPath(path), ec);
    if (ec) RaiseFor(ec);
}

void StdFileSystem::RemoveFolder(const std::string& path) {
    std::error_code ec;
    if (!fs::is_directory(FsPath(path), ec))
        Raise(FileError::kPathFileAccess, FileError::kPathFileAccessText);
    fs::remove(FsPath(path), ec);
    if (ec) RaiseFor(ec);
}

std::vector<FolderEntry> StdFileSystem::ListFolder(const std::string& path) {
    std::vector<FolderEntry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(FsPath(path), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        entries.push_back({Utf8Path(it->path().filename()), it->is_directory(kind)});
    }
    if (ec) RaiseFor(ec);
    return entries;
}

void StdFileSystem::SetHidden(const std::string& path) {
#ifdef _WIN32
    const fs::path native = FsPath(path);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    if (!SetFileAttributesW(native.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN))
        Raise(FileError::kPermissionDenied, FileError::kPermissionDeniedText);
#else
    // Names that start with a dot are what file managers and ls leave out here.
    (void)path;
#endif
}

IFileSystem& ProgramFileSystem() {
    static StdFileSystem files;
    return files;
}
