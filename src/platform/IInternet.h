#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// An opaque handle of the internet functions; kNoHandle means "no handle" (the call failed).
using InternetHandle = std::uintptr_t;
inline constexpr InternetHandle kNoHandle = 0;

// The attribute bit that marks a folder entry in a listing record.
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;

// One entry of a directory listing, as the platform's find record carries it.
struct FindRecord {
    std::uint32_t attributes = 0;
    std::uint32_t sizeLow = 0;  // the low 32 bits of the file size
    std::string fileName;       // callers take the text before its first NUL
};

// The synchronous internet functions of the online update, shaped after the platform's FTP
// client calls: a session handle, an FTP connection on it, then one search or file handle at a
// time on the connection. Every handle that a call returns is closed with CloseHandle exactly
// once; closing a connection also ends what is still open on it. No call throws.
class IInternet {
public:
    virtual ~IInternet() = default;

    // Dial-up and its release: no-ops where the platform has no dial-up.
    virtual void Autodial() = 0;
    virtual void AutodialHangup() = 0;

    virtual InternetHandle Open(const std::string& agent) = 0;
    // Logs in; kNoHandle when the server cannot be reached or refuses the account.
    virtual InternetHandle Connect(InternetHandle internet, const std::string& server, int port,
                                   const std::string& user, const std::string& password,
                                   bool passive) = 0;
    // The working directory after login; nullopt when the server told none.
    virtual std::optional<std::string> GetCurrentDirectory(InternetHandle connection) = 0;

    // Lists the entries that match the mask (a path whose last part may hold "*"), in the
    // server's order. FindFirst fills the first record and returns a search handle, or
    // kNoHandle when nothing matches; FindNext fills the next record while there is one.
    virtual InternetHandle FindFirst(InternetHandle connection, const std::string& mask,
                                     FindRecord& record) = 0;
    virtual bool FindNext(InternetHandle search, FindRecord& record) = 0;

    // Opens a remote file (relative to the login directory) for a binary download;
    // kNoHandle when the server will not send it.
    virtual InternetHandle OpenFile(InternetHandle connection, const std::string& name) = 0;
    // Blocks until `size` bytes have arrived or the transfer has ended, and returns how many
    // bytes it put in `buffer`: fewer than `size` only at the end of the file or after a failed
    // transfer, 0 once nothing more will come.
    virtual std::size_t Read(InternetHandle file, char* buffer, std::size_t size) = 0;
    // Waits at most `limit` for a Read of `size` bytes to be able to return at once, and says
    // whether it can: the bytes have arrived, the transfer has ended or failed, or nothing has
    // arrived for the back-end's stall limit (the Read then reports that failure at once). A
    // caller that must stay responsive waits in such slices and reads only then.
    virtual bool WaitReadable(InternetHandle file, std::size_t size,
                              std::chrono::milliseconds limit) = 0;

    virtual void CloseHandle(InternetHandle handle) = 0;

    // What the last failed call met, in words for the run log (empty when nothing failed).
    virtual std::string LastError() const = 0;
};
