#include "platform/wininet/WinInetInternet.h"

// Lean: the full windows.h brings in urlmon.h, whose COM interface IInternet would clash
// with ours.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on
// windows.h names GetCurrentDirectoryA/W through a macro that would rename our method.
#undef GetCurrentDirectory

#include <cstring>
#include <cwchar>
#include <exception>

#include "platform/FtpPattern.h"
#include "common/Utf16.h"
#include "platform/wininet/DeadlineCall.h"
#include "platform/wininet/WinInetError.h"

namespace {

HINTERNET Native(void* handle) { return static_cast<HINTERNET>(handle); }

FindRecord RecordOf(const WIN32_FIND_DATAW& data) {
    FindRecord record;
    record.attributes = data.dwFileAttributes;
    record.sizeLow = data.nFileSizeLow;
    record.fileName =
        Utf8FromWide(std::wstring_view(data.cFileName, wcsnlen(data.cFileName, MAX_PATH)));
    return record;
}

// Whether a failed find call only means that there is nothing (more) to list. Windows says so
// with ERROR_NO_MORE_FILES; Wine's FtpFindFirstFile leaves the last error at 0 instead.
bool NothingMoreListed(DWORD error) { return error == ERROR_NO_MORE_FILES || error == 0; }

// A folder as the server's CWD takes it: without its closing "/", except for the root itself.
std::string WithoutClosingSlash(std::string folder) {
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// What a call run under a deadline hands back: filled on the worker thread, read by the caller
// only when the call finished in time.
struct Outcome {
    HINTERNET handle = nullptr;
    std::optional<std::string> directory;
    std::vector<FindRecord> records;
    bool ok = false;
    std::string error;  // taken on the worker thread, whose last error it is
};

// Closes the handle that a call got after its caller had given up on it.
void CloseLate(const std::shared_ptr<Outcome>& out) {
    if (out->handle) InternetCloseHandle(out->handle);
}

// The whole listing of the current directory. No search text means "the current directory": a
// bare LIST on every implementation.
void ReadListing(HINTERNET ftp, Outcome& out) {
    WIN32_FIND_DATAW data = {};
    HINTERNET search = FtpFindFirstFileW(ftp, nullptr, &data,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (!search) {
        out.ok = NothingMoreListed(GetLastError());  // an empty folder is a good listing
        if (!out.ok) out.error = DescribeLastWinInetError();
        return;
    }
    do {
        out.records.push_back(RecordOf(data));
    } while (InternetFindNextFileW(search, &data));
    out.ok = NothingMoreListed(GetLastError());
    if (!out.ok) out.error = DescribeLastWinInetError();
    InternetCloseHandle(search);
}

// The listing of `folder`: the current directory when the folder is empty or the login
// directory; otherwise the folder is entered, listed and left again for the login directory,
// against which the caller names the files it opens.
void ListFolder(HINTERNET ftp, const std::string& folder,
                const std::optional<std::string>& loginDirectory, Outcome& out) {
    const std::string target = WithoutClosingSlash(folder);
    const bool elsewhere =
        !folder.empty() && target != WithoutClosingSlash(loginDirectory.value_or(""));
    if (elsewhere && !FtpSetCurrentDirectoryW(ftp, WideFromUtf8(target).c_str())) {
        out.error = "cannot change to " + target + ": " + DescribeLastWinInetError();
        return;
    }
    ReadListing(ftp, out);
    if (elsewhere && loginDirectory &&
        !FtpSetCurrentDirectoryW(ftp, WideFromUtf8(*loginDirectory).c_str())) {
        out.ok = false;
        out.error = "cannot return to " + *loginDirectory + ": " + DescribeLastWinInetError();
    }
}

// INTERNET_PROXY_INFO as the wide-character query fills it (the header's form follows UNICODE).
struct ProxyInfoW {
    DWORD accessType;
    LPCWSTR proxy;
    LPCWSTR bypass;
};

// The proxies the system's settings give the session ("host:port" or "scheme=host:port ..."),
// or nothing when it connects directly.
std::string ProxyOf(HINTERNET session) {
    DWORD size = 0;
    InternetQueryOptionW(session, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size < sizeof(ProxyInfoW)) return {};
    std::vector<unsigned char> buffer(size);
    if (!InternetQueryOptionW(session, INTERNET_OPTION_PROXY, buffer.data(), &size)) return {};
    ProxyInfoW info{};
    std::memcpy(&info, buffer.data(), sizeof info);
    if (info.accessType != INTERNET_OPEN_TYPE_PROXY || !info.proxy) return {};
    return Utf8FromWide(info.proxy);
}

// What the run log adds to a failed connection made with a proxy in the system's settings. The
// FTP functions pass only through a SOCKS proxy; a web (CERN) proxy, the usual kind, cannot
// carry them, and a store's administrator needs to know why the update cannot get out.
std::string ProxyNote(const std::string& proxy) {
    if (proxy.empty()) return {};
    if (proxy.find("socks=") != std::string::npos) {
        return "; the system's proxy settings name " + proxy;
    }
    return "; the system's proxy settings send connections through " + proxy +
           ", a web proxy, which cannot carry FTP: the update server needs a direct connection "
           "(port 21) or a SOCKS proxy";
}

}  // namespace

WinInetInternet::WinInetInternet(WinInetTimeouts timeouts) : timeouts_(timeouts) {}

WinInetInternet::~WinInetInternet() { handles_.CloseAll(&Release); }

std::chrono::milliseconds WinInetInternet::ServerDeadline() const {
    return std::chrono::milliseconds(timeouts_.connectMilliseconds) +
           std::chrono::milliseconds(timeouts_.receiveMilliseconds);
}

void WinInetInternet::Autodial() {
    // Whatever it returns, the connection attempt that follows tells whether the line is up.
    InternetAutodial(INTERNET_AUTODIAL_FORCE_UNATTENDED, nullptr);
}

void WinInetInternet::AutodialHangup() {
    // Nothing to do when no dial-up was made; the result is of no use either way.
    InternetAutodialHangup(0);
}

void WinInetInternet::SetTimeouts(void* handle) {
    // Set on the session, they are inherited by the connections and transfers made on it. A
    // refused option changes nothing about the others, and the deadlines below still hold.
    const struct {
        DWORD option;
        DWORD milliseconds;
    } settings[] = {
        {INTERNET_OPTION_CONNECT_TIMEOUT, timeouts_.connectMilliseconds},
        {INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts_.receiveMilliseconds},
        {INTERNET_OPTION_SEND_TIMEOUT, timeouts_.sendMilliseconds},
        {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, timeouts_.receiveMilliseconds},
        {INTERNET_OPTION_DATA_SEND_TIMEOUT, timeouts_.sendMilliseconds},
    };
    for (const auto& setting : settings) {
        DWORD value = setting.milliseconds;
        InternetSetOptionW(Native(handle), setting.option, &value, sizeof value);
    }
}

InternetHandle WinInetInternet::Open(const std::string& agent) {
    lastError_.clear();
    // The system's own settings (a proxy where the store has one, as every other program
    // there uses), and nothing written to the cache: the listing and the cabinet must come
    // from the server every time.
    HINTERNET session = InternetOpenW(WideFromUtf8(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                      nullptr, nullptr, INTERNET_FLAG_NO_CACHE_WRITE);
    if (!session) {
        lastError_ = DescribeLastWinInetError();
        return kNoHandle;
    }
    SetTimeouts(session);
    Node node;
    node.native = session;
    node.proxy = ProxyOf(session);
    return handles_.Add(HandleKind::Session, kNoHandle, std::move(node));
}

InternetHandle WinInetInternet::Connect(InternetHandle internet, const std::string& server,
                                        int port, const std::string& user,
                                        const std::string& password, bool passive) {
    lastError_.clear();
    Node* session = handles_.Find(internet, HandleKind::Session, lastError_);
    if (!session) return kNoHandle;
    auto out = std::make_shared<Outcome>();
    HINTERNET sessionHandle = Native(session->native);
    const std::wstring host = WideFromUtf8(server);
    const std::wstring account = WideFromUtf8(user);
    const std::wstring secret = WideFromUtf8(password);
    const DWORD flags = passive ? INTERNET_FLAG_PASSIVE : 0;
    const std::string proxyNote = ProxyNote(session->proxy);
    const bool inTime = RunWithDeadline(
        [=] {
            out->handle = InternetConnectW(sessionHandle, host.c_str(),
                                           static_cast<INTERNET_PORT>(port), account.c_str(),
                                           secret.c_str(), INTERNET_SERVICE_FTP, flags, 0);
            if (!out->handle) {
                out->error = DescribeLastWinInetError();
                return;
            }
            // Asked once, now: listings of other folders come back to it, and the caller's
            // question needs no second round trip.
            wchar_t directory[MAX_PATH + 1] = {};
            DWORD length = MAX_PATH;
            if (FtpGetCurrentDirectoryW(out->handle, directory, &length)) {
                out->directory =
                    Utf8FromWide(std::wstring_view(directory, wcsnlen(directory, length)));
            }
        },
        [out] { CloseLate(out); }, ServerDeadline());
    if (!inTime) {
        lastError_ = "the server did not answer within " +
                     std::to_string(ServerDeadline().count()) + " ms" + proxyNote;
        return kNoHandle;
    }
    if (!out->handle) {
        lastError_ = out->error + proxyNote;
        return kNoHandle;
    }
    Node node;
    node.native = out->handle;
    node.loginDirectory = out->directory;
    return handles_.Add(HandleKind::Connection, internet, std::move(node));
}

std::optional<std::string> WinInetInternet::GetCurrentDirectory(InternetHandle connection) {
    Node* node = handles_.Find(connection, HandleKind::Connection, lastError_);
    if (!node) return std::nullopt;
    return node->loginDirectory;
}

// A search lists the whole folder and matches the mask here, with the same case-sensitive
// matcher as the other platform, instead of handing the mask to FtpFindFirstFile. What
// FtpFindFirstFile does with a mask differs between implementations: Windows sends it to the
// server with LIST, so the server's own rules decide (some ignore a pattern, some match without
// case, some refuse a path with a pattern); Wine lists the folder and matches without case. A
// LIST without argument in the folder itself gives every server's plain listing in its own
// order, and our filter makes the result the same everywhere.
//
// The listing is read whole and its WinINet handle closed at once: an FTP connection carries one
// transfer at a time, and the caller may keep its search open while it opens a file.
InternetHandle WinInetInternet::FindFirst(InternetHandle connection, const std::string& mask,
                                          FindRecord& record) {
    lastError_.clear();
    Node* conn = handles_.Find(connection, HandleKind::Connection, lastError_);
    if (!conn) return kNoHandle;
    const FtpMask parts = SplitFtpMask(mask);
    auto out = std::make_shared<Outcome>();
    HINTERNET ftp = Native(conn->native);
    const std::optional<std::string> login = conn->loginDirectory;
    // A late listing holds no handle of its own to release: its search handle is closed inside.
    if (!RunWithDeadline([=] { ListFolder(ftp, parts.folder, login, *out); }, [] {},
                         ServerDeadline())) {
        lastError_ = "the listing did not arrive within " +
                     std::to_string(ServerDeadline().count()) + " ms";
        return kNoHandle;
    }
    if (!out->ok) {
        lastError_ = out->error;
        return kNoHandle;
    }
    std::vector<FindRecord> matching;
    for (FindRecord& entry : out->records) {
        if (MatchesFtpPattern(parts.pattern, entry.fileName)) matching.push_back(std::move(entry));
    }
    return handles_.AddSearch(connection, std::move(matching), mask, record, lastError_);
}

bool WinInetInternet::FindNext(InternetHandle search, FindRecord& record) {
    return handles_.NextRecord(search, record, lastError_);
}

InternetHandle WinInetInternet::OpenFile(InternetHandle connection, const std::string& name) {
    lastError_.clear();
    Node* conn = handles_.Find(connection, HandleKind::Connection, lastError_);
    if (!conn) return kNoHandle;
    auto out = std::make_shared<Outcome>();
    HINTERNET ftp = Native(conn->native);
    const std::wstring remote = WideFromUtf8(name);
    const bool inTime = RunWithDeadline(
        [=] {
            out->handle =
                FtpOpenFileW(ftp, remote.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
            if (!out->handle) out->error = DescribeLastWinInetError();
        },
        [out] { CloseLate(out); }, ServerDeadline());
    if (!inTime) {
        lastError_ = "cannot open " + name + ": no answer within " +
                     std::to_string(ServerDeadline().count()) + " ms";
        return kNoHandle;
    }
    if (!out->handle) {
        lastError_ = "cannot open " + name + ": " + out->error;
        return kNoHandle;
    }
    Node node;
    node.native = out->handle;
    try {
        node.reader = std::make_unique<WinInetFileReader>(
            out->handle, std::chrono::milliseconds(timeouts_.receiveMilliseconds));
    } catch (const std::exception& error) {
        // No reader thread (or no memory for its buffer): the download cannot run; no call
        // of this interface throws.
        InternetCloseHandle(out->handle);
        lastError_ = "cannot start the download of " + name + ": " + error.what();
        return kNoHandle;
    }
    return handles_.Add(HandleKind::File, connection, std::move(node));
}

std::size_t WinInetInternet::Read(InternetHandle file, char* buffer, std::size_t size) {
    Node* node = handles_.Find(file, HandleKind::File, lastError_);
    if (!node) return 0;
    const std::size_t n = node->reader->Read(buffer, size);
    if (n < size) lastError_ = node->reader->Error();
    return n;
}

bool WinInetInternet::WaitReadable(InternetHandle file, std::size_t size,
                                   std::chrono::milliseconds limit) {
    Node* node = handles_.Find(file, HandleKind::File, lastError_);
    return !node || node->reader->WaitReadable(size, limit);  // a bad handle reads 0 at once
}

void WinInetInternet::CloseHandle(InternetHandle handle) {
    handles_.Close(handle, lastError_, &Release);
}

void WinInetInternet::Release(Node& node) {
    // The reader's thread starts no call on the handle once it is stopped; closing the handle
    // then wakes a call in progress (on Windows), and the reader's end waits for its thread.
    if (node.reader) node.reader->Stop();
    // Closing can fail only for a handle WinINet no longer knows; ours are each closed once.
    if (node.native) InternetCloseHandle(Native(node.native));
}
