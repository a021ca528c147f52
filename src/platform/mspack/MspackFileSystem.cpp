#include "platform/mspack/MspackFileSystem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
// One open file of the seam. libmspack only ever holds the pointer.
struct SeamFile {
    mspack_file base;  // first member: libmspack's handle is the address of this record
    int fd;
    MspackFileSystem* owner;
    bool reading;
};

SeamFile* AsSeam(mspack_file* file) { return reinterpret_cast<SeamFile*>(file); }
}  // namespace

MspackFileSystem::MspackFileSystem() {
    seam_.sys = {};
    seam_.sys.open = &Open;
    seam_.sys.close = &Close;
    seam_.sys.read = &Read;
    seam_.sys.write = &Write;
    seam_.sys.seek = &Seek;
    seam_.sys.tell = &Tell;
    seam_.sys.message = &Message;
    seam_.sys.alloc = &Alloc;
    seam_.sys.free = &Free;
    seam_.sys.copy = &Copy;
    seam_.sys.null_ptr = nullptr;
    seam_.owner = this;
}

void MspackFileSystem::Reset() {
    lastErrno = 0;
    writeCloseErrno = 0;
}

MspackFileSystem& MspackFileSystem::Owner(mspack_system* self) {
    return *reinterpret_cast<Seam*>(self)->owner;
}

mspack_file* MspackFileSystem::Open(mspack_system* self, const char* filename, int mode) noexcept {
    MspackFileSystem& owner = Owner(self);
    int flags = 0;
    switch (mode) {
    case MSPACK_SYS_OPEN_READ: flags = O_RDONLY; break;
    case MSPACK_SYS_OPEN_WRITE: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case MSPACK_SYS_OPEN_UPDATE: flags = O_RDWR; break;
    case MSPACK_SYS_OPEN_APPEND: flags = O_WRONLY | O_CREAT | O_APPEND; break;
    default: return nullptr;
    }
    const int fd = ::open(filename, flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        owner.lastErrno = errno;
        return nullptr;
    }
    auto* file = static_cast<SeamFile*>(std::malloc(sizeof(SeamFile)));
    if (file == nullptr) {
        ::close(fd);
        owner.lastErrno = ENOMEM;
        return nullptr;
    }
    file->fd = fd;
    file->owner = &owner;
    file->reading = mode == MSPACK_SYS_OPEN_READ;
    return &file->base;
}

void MspackFileSystem::Close(mspack_file* file) noexcept {
    if (file == nullptr) return;
    SeamFile* f = AsSeam(file);
    MspackFileSystem& owner = *f->owner;
    const int error = ::close(f->fd) != 0 ? errno : 0;
    if (!f->reading) {
        // libmspack ignores the close; a failed close of a written file loses data, so the
        // iterator reads this reason after each extraction and fails the file.
        if (error != 0) owner.writeCloseErrno = error;
    }
    if (error != 0) owner.lastErrno = error;
    std::free(f);
}

int MspackFileSystem::Read(mspack_file* file, void* buffer, int bytes) noexcept {
    SeamFile* f = AsSeam(file);
    MspackFileSystem& owner = *f->owner;
    int total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < bytes) {
        const ssize_t n = ::read(f->fd, out + total, static_cast<size_t>(bytes - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            owner.lastErrno = errno;
            return -1;
        }
        if (n == 0) break;
        total += static_cast<int>(n);
    }
    // A short count is how libmspack learns of a truncated cabinet; no errno is left for it.
    return total;
}

int MspackFileSystem::Write(mspack_file* file, void* buffer, int bytes) noexcept {
    SeamFile* f = AsSeam(file);
    MspackFileSystem& owner = *f->owner;
    int total = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (total < bytes) {
        const ssize_t n = ::write(f->fd, in + total, static_cast<size_t>(bytes - total));
        if (n < 0) {
            if (errno == EINTR) continue;
            owner.lastErrno = errno;
            return -1;
        }
        total += static_cast<int>(n);
    }
    return total;
}

int MspackFileSystem::Seek(mspack_file* file, off_t offset, int mode) noexcept {
    SeamFile* f = AsSeam(file);
    const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                       : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                      : SEEK_END;
    if (::lseek(f->fd, offset, whence) < 0) {
        f->owner->lastErrno = errno;
        return -1;
    }
    return 0;
}

off_t MspackFileSystem::Tell(mspack_file* file) noexcept {
    SeamFile* f = AsSeam(file);
    const off_t at = ::lseek(f->fd, 0, SEEK_CUR);
    if (at < 0) f->owner->lastErrno = errno;
    return at;
}

void MspackFileSystem::Message(mspack_file*, const char*, ...) noexcept {
    // libmspack's warnings about oddities it has already worked around; the pass's outcome
    // says what matters to the user.
}

void* MspackFileSystem::Alloc(mspack_system*, size_t bytes) noexcept { return std::malloc(bytes); }
void MspackFileSystem::Free(void* pointer) noexcept { std::free(pointer); }
void MspackFileSystem::Copy(void* source, void* destination, size_t bytes) noexcept {
    std::memmove(destination, source, bytes);
}
