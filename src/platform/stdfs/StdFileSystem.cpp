#include "platform/stdfs/StdFileSystem.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kSource = "FileSystem";

// The descriptions are the file statements' own short texts; the caller knows the path.
[[noreturn]] void Raise(int number, const char* text) {
    throw AppError(number, kSource, text);
}

class StdBinaryWriter : public IBinaryWriter {
public:
    explicit StdBinaryWriter(const std::string& path) : buffer_(kBufferSize) {
        // Downloads write 512 bytes at a time: a larger buffer turns them into few system calls.
        out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        out_.open(FsPath(path), std::ios::binary | std::ios::trunc);
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
    return fs::is_regular_file(FsPath(path), ec);
}

void StdFileSystem::Delete(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(FsPath(path), ec)) Raise(FileError::kFileNotFound, FileError::kFileNotFoundText);
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
    return std::make_unique<StdBinaryWriter>(path);
}
