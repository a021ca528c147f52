#pragma once

#include <mspack.h>

// The host file system as libmspack sees it: our own mspack_system, so that every read and
// write of a pass goes through one place. It remembers the operating system's reason for the
// latest failure (libmspack keeps only its own coarse codes).
class MspackFileSystem {
public:
    MspackFileSystem();
    MspackFileSystem(const MspackFileSystem&) = delete;
    MspackFileSystem& operator=(const MspackFileSystem&) = delete;

    mspack_system* System() { return &seam_.sys; }

    // Starts a pass: the remembered reasons go back to zero.
    void Reset();

    // errno of the latest failed open, read, write or seek, or 0. A failure of libmspack's
    // without one is the cabinet's own fault (a short read of a truncated file, bad data).
    int lastErrno = 0;
    // errno of the latest failed close of a file opened for writing, or 0. Data the system
    // had not yet stored is lost then, though every write succeeded.
    int writeCloseErrno = 0;

private:
    struct Seam {
        mspack_system sys;  // first member, so libmspack's pointer leads back to the owner
        MspackFileSystem* owner;
    };

    static MspackFileSystem& Owner(mspack_system* self);
    static mspack_file* Open(mspack_system* self, const char* filename, int mode) noexcept;
    static void Close(mspack_file* file) noexcept;
    static int Read(mspack_file* file, void* buffer, int bytes) noexcept;
    static int Write(mspack_file* file, void* buffer, int bytes) noexcept;
    static int Seek(mspack_file* file, off_t offset, int mode) noexcept;
    static off_t Tell(mspack_file* file) noexcept;
    static void Message(mspack_file* file, const char* format, ...) noexcept;
    static void* Alloc(mspack_system* self, size_t bytes) noexcept;
    static void Free(void* pointer) noexcept;
    static void Copy(void* source, void* destination, size_t bytes) noexcept;

    Seam seam_;
};
