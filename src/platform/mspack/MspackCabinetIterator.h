#pragma once

#include <cstdint>
#include <string>

#include "platform/ICabinetIterator.h"
#include "platform/mspack/MspackFileSystem.h"

struct mscab_decompressor;
struct mscabd_file;
struct mscabd_cabinet;

// The cabinet iterator over libmspack. It reads cabinets compressed with none, MSZIP, Quantum
// and LZX, announces the files in their stored order and writes the ones it is told to.
//
// Where it goes beyond the bare library:
// - libmspack restarts a block's decompression for each file taken out of order, so the pass
//   strictly follows the stored order and never goes back.
// - A file is written under a temporary name in its target folder and renamed when it is
//   whole, so a damaged cabinet or a full disk never leaves half a file under the real name.
// - libmspack's coarse error codes are turned into Windows error numbers with the help of the
//   operating system's reason remembered by the file-system seam:
//     cabinet missing 2, a folder of its path missing 3, too many open files 4,
//     access refused 5, out of memory 8, damaged or truncated cabinet 13, read-only file
//     system 19, checksum failure 23, write failure 29, read failure of the device 30,
//     target cannot be created 82, name too long 111, disk full 112.
class MspackCabinetIterator : public ICabinetIterator {
public:
    MspackCabinetIterator() = default;

    bool Iterate(const std::string& cabinetPath, cabinet_api::CabinetCallback callback,
                 std::uintptr_t context) override;
    std::uint32_t LastError() const override { return lastError_; }

    // The seam libmspack reads and writes through.
    MspackFileSystem& FileSystem() { return fileSystem_; }

private:
    bool Fail(std::uint32_t code);
    std::uint32_t OpenError(int mspackError) const;
    std::uint32_t ExtractError(int mspackError) const;
    std::uint32_t ExtractOne(mscab_decompressor* decompressor, const mscabd_cabinet* cab,
                             mscabd_file* file, const std::string& target);

    MspackFileSystem fileSystem_;
    std::uint32_t lastError_ = 0;
    unsigned tempCounter_ = 0;
    std::string cabinetPath_;
};
