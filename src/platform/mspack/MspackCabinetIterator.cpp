#include "platform/mspack/MspackCabinetIterator.h"

#include "platform/cabformat/CabinetDirectory.h"

#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

using namespace cabinet_api;

namespace {

struct DecompressorDeleter {
    void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};

// The Windows number of an operating system's reason for a failed open, write or seek.
std::uint32_t FromErrno(int error, std::uint32_t otherwise) {
    switch (error) {
    case ENOENT: return win32::kPathNotFound;
    case ENOTDIR: return win32::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return win32::kAccessDenied;
    case EMFILE:
    case ENFILE: return win32::kTooManyOpenFiles;
    case ENOMEM: return win32::kNotEnoughMemory;
    case EROFS: return win32::kWriteProtect;
    case ENAMETOOLONG: return win32::kBufferOverflow;
    case ENOSPC:
    case EDQUOT: return win32::kDiskFull;
    default: return otherwise;
    }
}

std::uint16_t DosDate(const mscabd_file& f) {
    return static_cast<std::uint16_t>(((f.date_y - 1980) << 9) | (f.date_m << 5) | f.date_d);
}

std::uint16_t DosTime(const mscabd_file& f) {
    return static_cast<std::uint16_t>((f.time_h << 11) | (f.time_m << 5) | (f.time_s / 2));
}

std::string FolderPart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The stored date and time are the wall-clock time where the cabinet was made; as local time
// they become the file's modification time, as the setup library does. A time that cannot be
// set leaves the file's own time: the content is what matters, so this is not a failure.
void SetFileTime(const std::string& path, const mscabd_file& f) {
    std::tm local{};
    local.tm_year = f.date_y - 1900;
    local.tm_mon = f.date_m - 1;
    local.tm_mday = f.date_d;
    local.tm_hour = f.time_h;
    local.tm_min = f.time_m;
    local.tm_sec = f.time_s;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    // mktime moves a day the calendar lacks (31 February) on; such a date stays unset.
    if (when == static_cast<std::time_t>(-1) || local.tm_mday != f.date_d) return;
    const timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

int FolderIndex(const mscabd_cabinet* cab, const mscabd_file* file) {
    int index = 0;
    for (const mscabd_folder* f = cab->folders; f != nullptr; f = f->next, ++index)
        if (f == file->folder) return index;
    return -1;
}

// The cabinet's own records, for the two answers libmspack cannot give: whether a cabinet it
// refuses is simply one without files (a valid, empty cabinet), and whether a folder whose
// decompression failed carries a data block whose checksum does not match (libmspack reports
// both a damaged stream and a checksum failure as a decompression error). A file whose records
// cannot be read answers no to both.
class CabinetRecords {
public:
    explicit CabinetRecords(const std::string& path) : in_(path, std::ios::binary) {
        readable_ = in_ && directory_.Read(Reader());
    }
    bool IsEmpty() const { return readable_ && directory_.Files().empty(); }
    bool FolderHasBadChecksum(int folder) {
        return readable_ && folder >= 0 &&
               directory_.FolderHasBadChecksum(Reader(), static_cast<std::uint16_t>(folder));
    }

private:
    CabinetDirectory::ReadAt Reader() { return CabinetDirectory::StreamReader(in_); }

    std::ifstream in_;
    CabinetDirectory directory_;
    bool readable_ = false;
};

}  // namespace

bool MspackCabinetIterator::Fail(std::uint32_t code) {
    lastError_ = code == 0 ? win32::kInvalidData : code;
    return false;
}

std::uint32_t MspackCabinetIterator::OpenError(int mspackError) const {
    const int reason = fileSystem_.lastErrno;
    switch (mspackError) {
    case MSPACK_ERR_OPEN:
        if (reason == ENOENT) return win32::kFileNotFound;
        return FromErrno(reason, win32::kFileNotFound);
    case MSPACK_ERR_READ:
        if (reason == EACCES || reason == EPERM) return win32::kAccessDenied;
        return reason != 0 ? win32::kReadFault : win32::kInvalidData;
    case MSPACK_ERR_NOMEMORY: return win32::kNotEnoughMemory;
    case MSPACK_ERR_CHECKSUM: return win32::kCrc;
    default: return win32::kInvalidData;  // bad signature, bad format, seek outside the file
    }
}

std::uint32_t MspackCabinetIterator::ExtractError(int mspackError) const {
    const int reason = fileSystem_.lastErrno;
    switch (mspackError) {
    case MSPACK_ERR_OPEN:
        // The cabinet is open already, so this is the target (or a continuation cabinet).
        return FromErrno(reason, win32::kCannotMake);
    case MSPACK_ERR_WRITE:
        return reason == ENOSPC || reason == EDQUOT ? win32::kDiskFull : win32::kWriteFault;
    case MSPACK_ERR_READ:
        if (reason == EACCES || reason == EPERM) return win32::kAccessDenied;
        return reason != 0 ? win32::kReadFault : win32::kInvalidData;
    case MSPACK_ERR_NOMEMORY: return win32::kNotEnoughMemory;
    case MSPACK_ERR_CHECKSUM: return win32::kCrc;
    default: return win32::kInvalidData;
    }
}

std::uint32_t MspackCabinetIterator::ExtractOne(mscab_decompressor* decompressor,
                                                const mscabd_cabinet* cab, mscabd_file* file,
                                                const std::string& target) {
    const std::string temporary = FolderPart(target) + ".velmora-cab-" +
                                  std::to_string(::getpid()) + "-" +
                                  std::to_string(++tempCounter_) + ".part";
    fileSystem_.lastErrno = 0;
    fileSystem_.writeCloseErrno = 0;
    int result = decompressor->extract(decompressor, file, temporary.c_str());
    // Every write went through but the system could not store the data at the close.
    if (result == MSPACK_ERR_OK && fileSystem_.writeCloseErrno != 0) result = MSPACK_ERR_WRITE;
    if (result != MSPACK_ERR_OK) {
        std::uint32_t code = ExtractError(result);
        if ((result == MSPACK_ERR_DECRUNCH || result == MSPACK_ERR_DATAFORMAT) &&
            CabinetRecords(cabinetPath_).FolderHasBadChecksum(FolderIndex(cab, file)))
            code = win32::kCrc;
        std::remove(temporary.c_str());  // gone or never made: either way nothing to report
        return code;
    }
    SetFileTime(temporary, *file);
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        const std::uint32_t code = FromErrno(errno, win32::kCannotMake);
        std::remove(temporary.c_str());
        return code;
    }
    return 0;
}

bool MspackCabinetIterator::Iterate(const std::string& cabinetPath, CabinetCallback callback,
                                    std::uintptr_t context) {
    lastError_ = 0;
    fileSystem_.Reset();
    std::unique_ptr<mscab_decompressor, DecompressorDeleter> decompressor(
        mspack_create_cab_decompressor(fileSystem_.System()));
    if (!decompressor) return Fail(win32::kNotEnoughMemory);
    mscab_decompressor* d = decompressor.get();

    mscabd_cabinet* cab = d->open(d, cabinetPath.c_str());
    if (cab == nullptr) {
        const int error = d->last_error(d);
        // libmspack refuses a cabinet without files; the format allows it, and a pass over it
        // announces nothing.
        if (error == MSPACK_ERR_DATAFORMAT && CabinetRecords(cabinetPath).IsEmpty())
            return true;
        return Fail(OpenError(error));
    }
    cabinetPath_ = cabinetPath;
    auto closeCab = [d](mscabd_cabinet* c) { d->close(d, c); };
    std::unique_ptr<mscabd_cabinet, decltype(closeCab)> cabGuard(cab, closeCab);

    const std::string cabinetFile = NamePart(cabinetPath);
    CABINET_INFO cabinetInfo;
    cabinetInfo.CabinetPath = cabinetPath.c_str();
    cabinetInfo.CabinetFile = cabinetFile.c_str();
    cabinetInfo.DiskName = "";
    cabinetInfo.SetId = cab->set_id;
    cabinetInfo.CabinetNumber = cab->set_index;
    // The answer concerns disk prompts, which this platform never shows.
    callback(context, SPFILENOTIFY_CABINETINFO, reinterpret_cast<std::uintptr_t>(&cabinetInfo), 0);

    for (mscabd_file* file = cab->files; file != nullptr; file = file->next) {
        FILE_IN_CABINET_INFO info;
        info.NameInCabinet = file->filename;
        info.FileSize = static_cast<std::int32_t>(file->length);
        info.DosDate = DosDate(*file);
        info.DosTime = DosTime(*file);
        info.DosAttribs = static_cast<std::uint16_t>(file->attribs);
        const std::uint32_t answer = callback(context, SPFILENOTIFY_FILEINCABINET,
                                              reinterpret_cast<std::uintptr_t>(&info),
                                              reinterpret_cast<std::uintptr_t>(cabinetPath.c_str()));
        if (answer == FILEOP_ABORT) return true;
        if (answer == FILEOP_SKIP) continue;
        if (answer != FILEOP_DOIT) return Fail(win32::kInvalidData);

        const std::size_t length = ::strnlen(info.FullTargetName, kTargetPathBytes);
        if (length == 0 || length == kTargetPathBytes) return Fail(win32::kBufferOverflow);
        const std::string target(info.FullTargetName, length);
        FILEPATHS paths;
        paths.Target = target.c_str();
        paths.Source = cabinetPath.c_str();
        paths.Win32Error = ExtractOne(d, cab, file, target);
        const std::uint32_t reply =
            callback(context, SPFILENOTIFY_FILEEXTRACTED, reinterpret_cast<std::uintptr_t>(&paths), 0);
        if (reply != NO_ERROR) return Fail(reply);
    }
    return true;
}
