#pragma once

#include <cstdint>
#include <string>

// The cabinet iterator of the platform: one pass walks the files of a cabinet in their stored
// order and calls a procedure back for each event. The notifications, answers and records are
// those of the Windows setup library, so the logic above reads the same on every platform.
namespace cabinet_api {

// Notifications (the callback's second argument).
inline constexpr std::uint32_t SPFILENOTIFY_CABINETINFO = 0x10;
inline constexpr std::uint32_t SPFILENOTIFY_FILEINCABINET = 0x11;
inline constexpr std::uint32_t SPFILENOTIFY_NEEDNEWCABINET = 0x12;
inline constexpr std::uint32_t SPFILENOTIFY_FILEEXTRACTED = 0x13;

// Answers to SPFILENOTIFY_FILEINCABINET.
inline constexpr std::uint32_t FILEOP_ABORT = 0;
inline constexpr std::uint32_t FILEOP_DOIT = 1;
inline constexpr std::uint32_t FILEOP_SKIP = 2;

// Answer to the other notifications: go on.
inline constexpr std::uint32_t NO_ERROR = 0;

inline constexpr std::size_t MAX_PATH = 260;

// The size of the target path the callback writes. The library's own record holds MAX_PATH
// UTF-16 units; here the path is UTF-8, in which one unit may take three bytes, and the tool's
// staging folder lengthens a path the program folder is to hold: the longest path Linux takes
// is room enough for both.
inline constexpr std::size_t kTargetPathBytes = 4096;

// The attribute bit that marks a stored name as UTF-8; without it the name is in the
// cabinet maker's 8-bit code page (Windows-1250 for this program's cabinets).
inline constexpr std::uint16_t kAttribUtf8Name = 0x80;

// Windows error numbers the iterators report as their last error.
namespace win32 {
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kTooManyOpenFiles = 4;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kNotEnoughMemory = 8;
inline constexpr std::uint32_t kInvalidData = 13;
inline constexpr std::uint32_t kWriteProtect = 19;
inline constexpr std::uint32_t kCrc = 23;
inline constexpr std::uint32_t kWriteFault = 29;
inline constexpr std::uint32_t kReadFault = 30;
inline constexpr std::uint32_t kCannotMake = 82;
inline constexpr std::uint32_t kBufferOverflow = 111;
inline constexpr std::uint32_t kDiskFull = 112;
inline constexpr std::uint32_t kInvalidName = 123;
}  // namespace win32

// Lent to the callback for one SPFILENOTIFY_FILEINCABINET (param1).
struct FILE_IN_CABINET_INFO {
    const char* NameInCabinet = nullptr;  // the stored bytes, NUL-terminated, "\" between folders
    std::int32_t FileSize = 0;
    std::uint32_t Win32Error = 0;
    std::uint16_t DosDate = 0;
    std::uint16_t DosTime = 0;
    std::uint16_t DosAttribs = 0;
    // Written by the callback before it answers FILEOP_DOIT: the native target path as bytes
    // (UTF-8 on this platform), NUL-terminated.
    char FullTargetName[kTargetPathBytes] = {};
};

// Lent to the callback for one SPFILENOTIFY_FILEEXTRACTED (param1).
struct FILEPATHS {
    const char* Target = nullptr;  // the native path that was (or was to be) written
    const char* Source = nullptr;
    std::uint32_t Win32Error = 0;  // 0 when the file was written whole
    std::uint32_t Flags = 0;
};

// Lent to the callback for SPFILENOTIFY_CABINETINFO (param1).
struct CABINET_INFO {
    const char* CabinetPath = nullptr;
    const char* CabinetFile = nullptr;
    const char* DiskName = nullptr;
    std::uint16_t SetId = 0;
    std::uint16_t CabinetNumber = 0;
};

// The callback must not throw: it is called from inside the iterator's C machinery.
using CabinetCallback = std::uint32_t (*)(std::uintptr_t context, std::uint32_t notification,
                                          std::uintptr_t param1, std::uintptr_t param2) noexcept;

}  // namespace cabinet_api

// What the cabinet object needs of the platform.
class ICabinetIterator {
public:
    virtual ~ICabinetIterator() = default;

    // One synchronous pass over the cabinet at `cabinetPath` (a native UTF-8 path); every
    // callback runs on the calling thread before this returns. Returns true when the pass
    // completed (an answer of FILEOP_ABORT to a file ends it early and still counts as
    // completed); false when it failed, and then LastError() is a non-zero Windows error number.
    virtual bool Iterate(const std::string& cabinetPath, cabinet_api::CabinetCallback callback,
                         std::uintptr_t context) = 0;

    // The Windows error number of the latest failed pass (0 after a pass that completed).
    virtual std::uint32_t LastError() const = 0;
};
