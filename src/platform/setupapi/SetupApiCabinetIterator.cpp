#include "platform/setupapi/SetupApiCabinetIterator.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <cstring>
#include <optional>

#include "common/Paths.h"
#include "platform/setupapi/AnsiPaths.h"
#include "platform/cabformat/CabinetDirectory.h"
#include "common/Utf16.h"

// The contract's records share their names with the library's ANSI ones.
namespace api = cabinet_api;
namespace win32 = cabinet_api::win32;

namespace {

// Errors the library (or the system under it) may give for a damaged cabinet, Wine's 0
// included; the number reported instead is the Linux iterator's.
bool MeansDamagedCabinet(DWORD error) {
    return error == 0 || error == ERROR_INVALID_DATA || error == ERROR_BAD_FORMAT ||
           error == ERROR_FILE_CORRUPT || error == ERROR_HANDLE_EOF;
}

// A file of the system opened for reading at offsets, closed when it goes. It shares
// everything: the library opens the same cabinet while the pass runs.
class ReadHandle {
public:
    explicit ReadHandle(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ReadHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        // A failed read (past the end, a device fault) reads as a short one: the cabinet is
        // then cut short, which is what the caller judges.
        if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &got, &at)) return 0;
        return got;
    }

private:
    HANDLE handle_;
};

std::wstring FolderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::optional<std::uint64_t> FileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The stored date and time are the wall-clock time where the cabinet was made; as local time
// (with the daylight-saving rule of that date) they become the file's time, as on Linux. A
// date the calendar lacks (31 February) or a time that cannot be set leaves the file's own
// time: the content is what matters, so this is not a failure.
void SetStoredTime(const std::wstring& path, std::uint16_t dosDate, std::uint16_t dosTime) {
    FILETIME asWritten{};
    SYSTEMTIME local{};
    SYSTEMTIME universal{};
    FILETIME when{};
    if (!DosDateTimeToFileTime(dosDate, dosTime, &asWritten) ||
        !FileTimeToSystemTime(&asWritten, &local) || local.wDay != (dosDate & 0x1F) ||
        local.wMonth != ((dosDate >> 5) & 0x0F) ||
        !TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) ||
        !SystemTimeToFileTime(&universal, &when))
        return;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFileTime(file, nullptr, &when, &when);
    CloseHandle(file);
}

// The cabinet's path as the library can take it: its own path or short form, or else a copy
// in the system's temporary folder, removed when the pass is over.
class LibraryCabinet {
public:
    LibraryCabinet(const std::wstring& path, unsigned& counter) {
        // The library takes no path of MAX_PATH units or more, not even in the long form.
        if (auto form = ansi_paths::AnsiForm(path); form && form->size() < MAX_PATH) {
            path_ = *form;
            return;
        }
        const auto folder = ansi_paths::AnsiTempFolder();
        if (!folder) {
            error_ = ERROR_INVALID_NAME;
            return;
        }
        copy_ = *folder + L".velmora-cab-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter) + L".cab";
        if (!CopyFileW(path.c_str(), copy_.c_str(), FALSE)) {
            error_ = GetLastError();
            DeleteFileW(copy_.c_str());  // a half copy, or nothing: nothing to report
            copy_.clear();
            return;
        }
        path_ = copy_;
    }
    ~LibraryCabinet() {
        if (!copy_.empty()) DeleteFileW(copy_.c_str());
    }
    LibraryCabinet(const LibraryCabinet&) = delete;
    LibraryCabinet& operator=(const LibraryCabinet&) = delete;

    const std::wstring& Path() const { return path_; }
    std::uint32_t Error() const { return error_; }

private:
    std::wstring path_;
    std::wstring copy_;
    std::uint32_t error_ = 0;
};

// The library's cabinet record with UTF-8 texts, as the contract lends it.
struct NarrowCabinetInfo {
    explicit NarrowCabinetInfo(const CABINET_INFO_W& wide)
        : path(Utf8FromWide(wide.CabinetPath ? wide.CabinetPath : L"")),
          file(Utf8FromWide(wide.CabinetFile ? wide.CabinetFile : L"")),
          disk(Utf8FromWide(wide.DiskName ? wide.DiskName : L"")) {
        info.CabinetPath = path.c_str();
        info.CabinetFile = file.c_str();
        info.DiskName = disk.c_str();
        info.SetId = wide.SetId;
        info.CabinetNumber = wide.CabinetNumber;
    }
    NarrowCabinetInfo(const NarrowCabinetInfo&) = delete;
    NarrowCabinetInfo& operator=(const NarrowCabinetInfo&) = delete;

    const std::string path, file, disk;
    api::CABINET_INFO info;
};

}  // namespace

// One pass: the state the library's callback needs, and the translation of each of its
// wide-character notifications into the callback of the contract.
class SetupApiPass {
public:
    SetupApiPass(api::CabinetCallback callback, std::uintptr_t context, const std::string& cabinetPath,
                 const std::wstring& widePath, const CabinetDirectory& directory, unsigned& tempCounter)
        : callback_(callback), context_(context), cabinetPath_(cabinetPath),
          widePath_(widePath), directory_(directory), tempCounter_(tempCounter) {}

    static UINT CALLBACK Notify(PVOID self, UINT notification, UINT_PTR param1,
                                UINT_PTR param2) noexcept {
        return static_cast<SetupApiPass*>(self)->On(notification, param1, param2);
    }

    // After the library has returned: the pass's outcome as the contract reports it, and
    // LastError's number in `error`.
    bool Finish(BOOL libraryResult, DWORD libraryError, std::uint32_t& error);

private:
    UINT On(UINT notification, UINT_PTR param1, UINT_PTR param2);
    UINT OnCabinetInfo(const CABINET_INFO_W& wide);
    UINT OnNeedNewCabinet(const CABINET_INFO_W& wide, WCHAR* newPath);
    UINT OnFileInCabinet(FILE_IN_CABINET_INFO_W& wide);
    UINT OnFileExtracted(const FILEPATHS_W& wide);
    UINT DoIt(const api::FILE_IN_CABINET_INFO& info, FILE_IN_CABINET_INFO_W& wide);
    std::uint32_t MakeTemporary(std::wstring& libraryPath);
    std::uint32_t Place(DWORD libraryError);
    std::uint32_t Report(std::uint32_t outcome);
    std::uint32_t DamageError() const;
    void DropTemporary();

    api::CabinetCallback callback_;
    std::uintptr_t context_;
    const std::string& cabinetPath_;
    const std::wstring& widePath_;
    const CabinetDirectory& directory_;
    unsigned& tempCounter_;

    std::size_t nextFile_ = 0;  // index into the directory of the next announced file
    const CabinetDirectory::File* current_ = nullptr;
    bool aborted_ = false;                 // the callback answered FILEOP_ABORT
    std::optional<std::uint32_t> failed_;  // the pass fails with this number

    // The file handed to the library and not yet reported back.
    bool pending_ = false;
    std::wstring temporary_;
    bool temporaryElsewhere_ = false;  // in the system's temporary folder, maybe another volume
    std::wstring target_;
    std::string targetUtf8_;
};

UINT SetupApiPass::On(UINT notification, UINT_PTR param1, UINT_PTR param2) {
    const bool stopped = aborted_ || failed_.has_value();
    switch (notification) {
    case SPFILENOTIFY_CABINETINFO:
        return stopped ? NO_ERROR : OnCabinetInfo(*reinterpret_cast<CABINET_INFO_W*>(param1));
    case SPFILENOTIFY_NEEDNEWCABINET:
        return stopped ? NO_ERROR
                       : OnNeedNewCabinet(*reinterpret_cast<CABINET_INFO_W*>(param1),
                                          reinterpret_cast<WCHAR*>(param2));
    case SPFILENOTIFY_FILEINCABINET:
        // Wine takes FILEOP_ABORT for a skip and announces the rest: they are skipped here.
        return stopped ? FILEOP_SKIP
                       : OnFileInCabinet(*reinterpret_cast<FILE_IN_CABINET_INFO_W*>(param1));
    case SPFILENOTIFY_FILEEXTRACTED:
        if (stopped) return failed_.value_or(NO_ERROR);
        return OnFileExtracted(*reinterpret_cast<FILEPATHS_W*>(param1));
    default:
        return NO_ERROR;
    }
}

UINT SetupApiPass::OnCabinetInfo(const CABINET_INFO_W& wide) {
    const NarrowCabinetInfo narrow(wide);
    // The answer concerns disk prompts, which this program never shows.
    callback_(context_, SPFILENOTIFY_CABINETINFO, reinterpret_cast<std::uintptr_t>(&narrow.info), 0);
    return NO_ERROR;
}

UINT SetupApiPass::OnNeedNewCabinet(const CABINET_INFO_W& wide, WCHAR* newPath) {
    const NarrowCabinetInfo narrow(wide);
    char chosen[MAX_PATH] = {};
    const UINT answer = callback_(context_, SPFILENOTIFY_NEEDNEWCABINET,
                                  reinterpret_cast<std::uintptr_t>(&narrow.info),
                                  reinterpret_cast<std::uintptr_t>(chosen));
    // A path the callback wrote is handed on; an untouched buffer leaves the library's choice.
    const std::wstring chosenWide = WideFromUtf8(std::string(chosen, ::strnlen(chosen, MAX_PATH)));
    if (!chosenWide.empty() && chosenWide.size() < MAX_PATH && newPath != nullptr)
        std::memcpy(newPath, chosenWide.c_str(), (chosenWide.size() + 1) * sizeof(WCHAR));
    return answer;
}

UINT SetupApiPass::OnFileInCabinet(FILE_IN_CABINET_INFO_W& wide) {
    const auto& files = directory_.Files();
    while (nextFile_ < files.size() && files[nextFile_].ContinuedFromPrevious()) ++nextFile_;
    current_ = nextFile_ < files.size() ? &files[nextFile_++] : nullptr;

    api::FILE_IN_CABINET_INFO info;
    std::string fallbackName;
    if (current_ != nullptr && current_->size == wide.FileSize) {
        info.NameInCabinet = current_->name.c_str();
        info.DosAttribs = current_->attribs;
    } else {
        // The library announced a file the records do not place (never met so far): its own
        // decoding of the name is the best there is, handed on as UTF-8 and flagged so.
        current_ = nullptr;
        fallbackName = Utf8FromWide(wide.NameInCabinet ? wide.NameInCabinet : L"");
        info.NameInCabinet = fallbackName.c_str();
        info.DosAttribs = static_cast<std::uint16_t>(wide.DosAttribs | api::kAttribUtf8Name);
    }
    info.FileSize = static_cast<std::int32_t>(wide.FileSize);
    info.DosDate = wide.DosDate;
    info.DosTime = wide.DosTime;

    const std::uint32_t answer = callback_(context_, SPFILENOTIFY_FILEINCABINET,
                                           reinterpret_cast<std::uintptr_t>(&info),
                                           reinterpret_cast<std::uintptr_t>(cabinetPath_.c_str()));
    if (answer == FILEOP_ABORT) {
        aborted_ = true;
        return FILEOP_ABORT;  // Windows ends the pass here; Wine goes on, answered above
    }
    if (answer == FILEOP_SKIP) return FILEOP_SKIP;
    if (answer != FILEOP_DOIT) {
        failed_ = win32::kInvalidData;
        return FILEOP_ABORT;
    }
    return DoIt(info, wide);
}

UINT SetupApiPass::DoIt(const api::FILE_IN_CABINET_INFO& info, FILE_IN_CABINET_INFO_W& wide) {
    const std::size_t length = ::strnlen(info.FullTargetName, api::kTargetPathBytes);
    if (length == 0 || length == api::kTargetPathBytes) {
        failed_ = win32::kBufferOverflow;
        return FILEOP_ABORT;
    }
    targetUtf8_.assign(info.FullTargetName, length);
    // The staging folder makes paths longer than the program folder's own: the system takes
    // those only in the long form.
    target_ = LongPathForm(WideFromUtf8(targetUtf8_));
    std::wstring libraryPath;
    const std::uint32_t refused = MakeTemporary(libraryPath);
    if (refused != 0) {
        const std::uint32_t reply = Report(refused);
        if (reply == NO_ERROR) return FILEOP_SKIP;  // the callback chose to go on
        failed_ = reply;
        return FILEOP_ABORT;
    }
    pending_ = true;
    std::memcpy(wide.FullTargetName, libraryPath.c_str(), (libraryPath.size() + 1) * sizeof(WCHAR));
    return FILEOP_DOIT;
}

namespace {

// Creates a new, empty file; returns 0 or the system's number.
std::uint32_t CreateEmpty(const std::wstring& path) {
    HANDLE made = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? win32::kPathNotFound : error;
    }
    CloseHandle(made);
    return 0;
}

}  // namespace

// The temporary is made here rather than by the library, so that a missing folder or a
// refused one gives the system's own number on every Windows. It lies in the target's folder,
// where the rename cannot be split; only when that folder has no ANSI form the library could
// take does it go to the system's temporary folder.
std::uint32_t SetupApiPass::MakeTemporary(std::wstring& libraryPath) {
    std::wstring name;
    std::uint32_t error = ERROR_FILE_EXISTS;
    temporaryElsewhere_ = false;
    // A name left behind by an earlier program that was killed is passed over.
    for (int attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
        name = L".velmora-cab-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++tempCounter_) + L".part";
        temporary_ = FolderOf(target_) + name;
        error = CreateEmpty(temporary_);
    }
    if (error != 0) return error;
    if (auto form = ansi_paths::AnsiForm(temporary_); form && form->size() < MAX_PATH) {
        libraryPath = *form;
        return 0;
    }
    DropTemporary();
    const auto elsewhere = ansi_paths::AnsiTempFolder();
    if (!elsewhere || elsewhere->size() + name.size() >= MAX_PATH) return win32::kBufferOverflow;
    temporary_ = *elsewhere + name;
    temporaryElsewhere_ = true;
    if ((error = CreateEmpty(temporary_)) != 0) return error;
    libraryPath = temporary_;
    return 0;
}

UINT SetupApiPass::OnFileExtracted(const FILEPATHS_W& wide) {
    if (!pending_) return NO_ERROR;
    const std::uint32_t reply = Report(Place(wide.Win32Error));
    if (reply != NO_ERROR) failed_ = reply;
    return reply;  // Windows ends the pass on a non-zero answer; Wine ignores it (see On)
}

// Puts the written temporary under its real name, or removes it; returns the file's outcome.
std::uint32_t SetupApiPass::Place(DWORD libraryError) {
    pending_ = false;
    std::uint32_t outcome = libraryError;
    // Windows may name a damaged cabinet in its own way, Wine reports the short file as
    // written: both become the Linux iterator's number.
    if (outcome != 0 ? MeansDamagedCabinet(outcome)
                     : current_ != nullptr && FileSizeOf(temporary_) != current_->size)
        outcome = DamageError();
    if (outcome == 0) {
        if (current_ != nullptr) SetStoredTime(temporary_, current_->date, current_->time);
        const DWORD how = MOVEFILE_REPLACE_EXISTING | (temporaryElsewhere_ ? MOVEFILE_COPY_ALLOWED : 0);
        if (!MoveFileExW(temporary_.c_str(), target_.c_str(), how)) {
            outcome = GetLastError();
            // A folder in the target's place: Linux reports it as refused access.
            if (outcome == ERROR_ALREADY_EXISTS || outcome == ERROR_FILE_EXISTS || outcome == 0)
                outcome = win32::kAccessDenied;
        }
    }
    if (outcome != 0) DropTemporary();
    return outcome;
}

std::uint32_t SetupApiPass::Report(std::uint32_t outcome) {
    api::FILEPATHS paths;
    paths.Target = targetUtf8_.c_str();
    paths.Source = cabinetPath_.c_str();
    paths.Win32Error = outcome;
    return callback_(context_, SPFILENOTIFY_FILEEXTRACTED, reinterpret_cast<std::uintptr_t>(&paths),
                     0);
}

// Opened afresh, and only here: no handle of ours is held on the cabinet while the library
// reads it. A cabinet that cannot be opened now reads as one without a bad checksum.
std::uint32_t SetupApiPass::DamageError() const {
    const ReadHandle cabinet(widePath_);
    const CabinetDirectory::ReadAt read = [&cabinet](std::uint64_t at, void* buffer,
                                                     std::size_t n) -> std::size_t {
        return cabinet.IsOpen() ? cabinet.ReadAt(at, buffer, n) : 0;
    };
    if (current_ != nullptr && directory_.FolderHasBadChecksum(read, current_->folder))
        return win32::kCrc;
    return win32::kInvalidData;
}

void SetupApiPass::DropTemporary() {
    // Gone or never made: either way nothing to report.
    DeleteFileW(temporary_.c_str());
}

bool SetupApiPass::Finish(BOOL libraryResult, DWORD libraryError, std::uint32_t& error) {
    if (pending_) {
        // The library stopped inside a file without reporting it (Windows on a damaged
        // cabinet, or a full disk): the file's outcome is the pass's.
        pending_ = false;
        DropTemporary();
        std::uint32_t outcome = MeansDamagedCabinet(libraryError) ? DamageError() : libraryError;
        const std::uint32_t reply = Report(outcome);
        failed_ = reply != NO_ERROR ? reply : outcome;
    }
    if (failed_) {
        error = *failed_;
        return false;
    }
    if (aborted_ || libraryResult) return true;
    error = MeansDamagedCabinet(libraryError) ? DamageError() : libraryError;
    return false;
}

bool SetupApiCabinetIterator::Iterate(const std::string& cabinetPath, api::CabinetCallback callback,
                                      std::uintptr_t context) {
    lastError_ = 0;
    const std::wstring widePath = LongPathForm(WideFromUtf8(cabinetPath));
    CabinetDirectory directory;
    {
        const ReadHandle cabinet(widePath);
        if (!cabinet.IsOpen()) {
            const DWORD error = GetLastError();
            // A missing folder of the path is a missing cabinet, as on Linux.
            lastError_ = error == ERROR_PATH_NOT_FOUND || error == 0 ? win32::kFileNotFound : error;
            return false;
        }
        if (!directory.Read([&cabinet](std::uint64_t at, void* buffer, std::size_t n) {
                return cabinet.ReadAt(at, buffer, n);
            })) {
            lastError_ = win32::kInvalidData;
            return false;
        }
    }
    LibraryCabinet libraryCabinet(widePath, tempCounter_);
    if (const std::uint32_t error = libraryCabinet.Error()) {
        lastError_ = error;
        return false;
    }
    SetupApiPass pass(callback, context, cabinetPath, widePath, directory, tempCounter_);
    SetLastError(0);
    const BOOL result =
        SetupIterateCabinetW(libraryCabinet.Path().c_str(), 0, &SetupApiPass::Notify, &pass);
    const DWORD libraryError = result ? 0 : GetLastError();
    std::uint32_t error = 0;
    if (pass.Finish(result, libraryError, error)) return true;
    lastError_ = error == 0 ? win32::kInvalidData : error;
    return false;
}
