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
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
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
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: Raise(FileError::kFileAlreadyExists, FileError::kFileAlreadyExistsText);
        default: break;
        }
    }
#endif
    (void)value;
    if (ec == std::errc::device_or_resource_busy || ec == std::errc::text_file_busy)
        Raise(FileError::kFileAlreadyOpen, FileError::kFileAlreadyOpenText);
    if (ec == std::errc::no_such_file_or_directory)
        Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    if (ec == std::errc::file_exists)
        Raise(FileError::kFileAlreadyExists, FileError::kFileAlreadyExistsText);
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
    StdBinaryWriter(const std::string& path, std::ios::openmode mode) : buffer_(kBufferSize) {
        // Downloads write 512 bytes at a time: a larger buffer turns them into few system calls.
        out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        out_.open(FsPath(path), std::ios::binary | mode);
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
    void Flush() override {
        out_.flush();
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
    return fs::is_regular_file(FsPath(path), ec);
}

void StdFileSystem::Delete(const std::string& path) {
    std::error_code ec;
    // A link goes as a link, even one whose target is gone.
    if (!fs::exists(fs::symlink_status(FsPath(path), ec))) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    if (!fs::remove(FsPath(path), ec) || ec) {
        Raise(FileError::kPermissionDenied, FileError::kPermissionDeniedText);
    }
}

void StdFileSystem::SetNormalAttributes(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(FsPath(path), ec)) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    fs::permissions(FsPath(path), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    if (ec) Raise(FileError::kPermissionDenied, FileError::kPermissionDeniedText);
}

std::unique_ptr<IBinaryWriter> StdFileSystem::OpenForWrite(const std::string& path) {
    return std::make_unique<StdBinaryWriter>(path, std::ios::trunc);
}

std::unique_ptr<IBinaryWriter> StdFileSystem::OpenForAppend(const std::string& path) {
    return std::make_unique<StdBinaryWriter>(path, std::ios::app);
}

std::string StdFileSystem::ReadAll(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Raise(FileError::kDeviceIo, FileError::kDeviceIoText);
    return bytes;
}

#ifndef _WIN32
namespace {

// Where the file system cannot rename without replacing (some network and FUSE file systems),
// a file is linked to its new name, which fails when the name is taken, and then unlinked
// from the old one; a folder, which cannot be linked, is renamed after a check, which the
// program folder's lock keeps from racing with another run of the program.
int RenameWithoutReplacing(const char* from, const char* to) {
    struct stat source {};
    if (::lstat(from, &source) != 0) return errno;
    if (S_ISDIR(source.st_mode)) {
        struct stat target {};
        if (::lstat(to, &target) == 0) return EEXIST;
        return ::rename(from, to) == 0 ? 0 : errno;
    }
    if (::link(from, to) != 0) return errno;
    if (::unlink(from) != 0) {
        const int error = errno;
        ::unlink(to);  // the file keeps its old name only, as before the call
        return error;
    }
    return 0;
}

}  // namespace
#endif

void StdFileSystem::Rename(const std::string& from, const std::string& to) {
#ifdef _WIN32
    // Without MOVEFILE_REPLACE_EXISTING a file or folder at `to` is never replaced. The MinGW
    // standard library reports a file held open by another program as a plain I/O error
    // (measured under Wine): the system's own call keeps the sharing violation, which the user
    // is told about by name.
    if (MoveFileExW(FsPath(from).c_str(), FsPath(to).c_str(), 0)) return;
    RaiseFor(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
#else
    int error = 0;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
        if (error == EINVAL || error == ENOSYS || error == ENOTSUP)
            error = RenameWithoutReplacing(from.c_str(), to.c_str());
    }
    // A file meeting a folder of its name is refused as the platform with drive letters
    // refuses a file written over a folder, not as a name merely taken.
    if (error == EEXIST && FolderExists(to) && !FolderExists(from)) error = EISDIR;
    if (error != 0) RaiseFor(std::error_code(error, std::generic_category()));
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
#ifdef _WIN32
    // The MinGW standard library lists the working folder instead of a folder given in the long
    // form (measured under Wine): the system's own search takes it.
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW((FsPath(path) / L"*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        RaiseFor(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        // A link or junction to a folder is listed as what it is, as below.
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        entries.push_back({Utf8Path(fs::path(name)), folder});
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES)
        RaiseFor(std::error_code(static_cast<int>(error), std::system_category()));
    return entries;
#else
    std::error_code ec;
    for (fs::directory_iterator it(FsPath(path), ec), end; !ec && it != end; it.increment(ec)) {
        // A link to a folder is listed as what it is, not as the folder it leads to: whoever
        // walks the listing must not follow it out of the tree.
        std::error_code kind;
        entries.push_back({Utf8Path(it->path().filename()),
                           it->is_directory(kind) && !it->is_symlink(kind)});
    }
    if (ec) RaiseFor(ec);
    return entries;
#endif
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

bool StdFileSystem::IsLink(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(FsPath(path), ec);
    if (ec) return false;
#ifdef _WIN32
    // Junctions and other reparse points lead elsewhere just as links do.
    const DWORD attributes = GetFileAttributesW(FsPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
#endif
    return fs::is_symlink(status);
}

#ifdef _WIN32
namespace {

// A handle opened without sharing: nobody else can open the file while it is held, and the
// system closes it (and, asked to, deletes the file) when the process ends in any way.
class WinFileLock : public IFileLock {
public:
    explicit WinFileLock(HANDLE handle) : handle_(handle) {}
    ~WinFileLock() override { CloseHandle(handle_); }

private:
    HANDLE handle_;
};

}  // namespace

std::unique_ptr<IFileLock> StdFileSystem::TryLock(const std::string& path) {
    const HANDLE handle =
        CreateFileW(FsPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return std::make_unique<WinFileLock>(handle);
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return nullptr;
    RaiseFor(std::error_code(static_cast<int>(error), std::system_category()));
}

bool StdFileSystem::HeldOpenElsewhere(const std::string& path) {
    // The image of a running program is mapped: the system refuses to open it for writing,
    // even with full sharing, while the program runs. A file held without sharing refuses too.
    const HANDLE handle = CreateFileW(FsPath(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}
#else
namespace {

// flock belongs to the open file, not to the process: a second open of the same lock file, in
// this process or another, is refused while this one lives, and the system drops it when the
// descriptor closes, which the end of the process does in every way it can end. The file goes
// when the lock is given back, so a folder looks as before after a run; a crash leaves it,
// unlocked, for the next run to take.
class FlockFileLock : public IFileLock {
public:
    FlockFileLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~FlockFileLock() override {
        // Removed while still locked: whoever opened it meanwhile finds, once it has the
        // lock, that the name no longer leads to the file it locked, and tries again.
        ::unlink(path_.c_str());
        ::close(fd_);
    }

private:
    int fd_;
    std::string path_;
};

// True when `path` still names the file open as `fd`.
bool StillNamed(int fd, const std::string& path) {
    struct stat open {}, named {};
    if (::fstat(fd, &open) != 0 || ::lstat(path.c_str(), &named) != 0) return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

std::unique_ptr<IFileLock> StdFileSystem::TryLock(const std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) RaiseFor(std::error_code(errno, std::generic_category()));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) return nullptr;
            RaiseFor(std::error_code(error, std::generic_category()));
        }
        if (StillNamed(fd, path)) return std::make_unique<FlockFileLock>(fd, path);
        ::close(fd);  // removed by the run that just ended: the name leads to a new file
    }
    return nullptr;
}

bool StdFileSystem::HeldOpenElsewhere(const std::string& path) {
    // A write lease is granted only while no other descriptor of the file is open anywhere;
    // taken and given back at once, it asks exactly that. Where leases are not allowed (a file
    // of another owner, a file system without them) nobody can tell, and the answer is no.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool held = ::fcntl(fd, F_SETLEASE, F_WRLCK) != 0 && errno == EAGAIN;
    if (!held) ::fcntl(fd, F_SETLEASE, F_UNLCK);
    ::close(fd);
    return held;
}
#endif

FileStamp StdFileSystem::Stamp(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(FsPath(path), ec);
    if (ec) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    const auto time = fs::last_write_time(FsPath(path), ec);
    if (ec) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
    return {static_cast<std::int64_t>(size),
            static_cast<std::int64_t>(time.time_since_epoch().count())};
}

// The probe is a new file under a name of this process's own, made only when nothing has that
// name: a link planted under it is not followed, and a leftover (a crash's, or another run's
// probe) is neither truncated nor removed, only passed over for the next name. Only a refusal
// of the folder says it cannot be written; any other failure is left to the operation that
// meets it, which reports it as it is.
bool StdFileSystem::FolderWritable(const std::string& folder) {
#ifdef _WIN32
    const std::string process = std::to_string(GetCurrentProcessId());
#else
    const std::string process = std::to_string(::getpid());
#endif
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string probe =
            JoinPath(folder, ".Tarvik_Upg." + process + "." + std::to_string(attempt) + ".probe");
#ifdef _WIN32
        // Closing the handle deletes the file, also when the process ends before it does.
        const HANDLE handle =
            CreateFileW(FsPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return true;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
        return error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT;
#else
        const int fd =
            ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
            return true;
        }
        const int error = errno;
        if (error == EEXIST || error == EINTR) continue;
        return error != EACCES && error != EPERM && error != EROFS;
#endif
    }
    // Every name taken: nothing said the folder refuses a file.
    return true;
}

std::chrono::milliseconds StdFileSystem::PatienceFor(const AppError& error) {
#ifdef _WIN32
    // Virus scanners and the search indexer open new files for a few seconds; Windows then
    // answers a sharing or lock violation, or access denied while a delete is pending.
    if (error.number() == FileError::kFileAlreadyOpen ||
        error.number() == FileError::kPermissionDenied)
        return std::chrono::seconds(30);
#else
    // Nothing here holds a file against a rename: a refusal is final.
    (void)error;
#endif
    return std::chrono::milliseconds(0);
}
