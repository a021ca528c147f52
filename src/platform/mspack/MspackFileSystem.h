#pragma once

#include <mspack.h>

#include <cerrno>

// The host file system as libmspack sees it: our own mspack_system, so that every read and
// write of a pass goes through one place. It remembers the operating system's reason for the
// latest failure (libmspack keeps only its own coarse codes) and can be told to fail the Nth
// read or write, which is how tests damage a cabinet or fill a disk at a chosen moment.
class MspackFileSystem {
public:
    struct Faults {
        int failReadNumber = 0;   // 1 = the first read of the pass fails; 0 = never
        int readErrno = EIO;
        int failWriteNumber = 0;  // 1 = the first write of the pass fails; 0 = never
        int writeErrno = ENOSPC;
        int failWriteCloseNumber = 0;  // 1 = closing the first written file fails; 0 = never
        int writeCloseErrno = EIO;
    };

    MspackFileSystem();
    MspackFileSystem(const MspackFileSystem&) = delete;
    MspackFileSystem& operator=(const MspackFileSystem&) = delete;

    mspack_system* System() { return &seam_.sys; }

    // Starts a pass: counters and the remembered reason go back to zero.
    void Reset();

    Faults faults;

    // errno of the latest failed open, read, write or seek, or 0. A failure of libmspack's
    // without one is the cabinet's own fault (a short read of a truncated file, bad data).
    int lastErrno = 0;
    int reads = 0;
    int writes = 0;
    int writeCloses = 0;
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
