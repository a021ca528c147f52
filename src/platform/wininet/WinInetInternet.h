#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/IInternet.h"
#include "platform/wininet/WinInetFileReader.h"
#include "platform/wininet/WinInetTimeouts.h"

// IInternet over the Windows internet functions (WinINet), synchronous, in their wide-character
// form: UTF-8 inside, UTF-16 at the call. The system's proxy settings apply (a failed connection
// through a proxy that cannot carry FTP says so in its error). Passive mode, binary transfers,
// the time-outs set on the session so that a silent server ends in a failure rather than a hang.
//
// Every WinINet handle sits in a table of our own and is closed exactly once: closing a handle
// closes what was opened on it first, as the interface promises, and a handle that the caller
// closes twice reaches WinINet only once. A search is served from the table too: its listing is
// read whole when it starts (see FindFirst in the .cpp file for why). The calls that wait for the
// server run under a deadline of their own as well (DeadlineCall.h, WinInetFileReader.h), since
// not every WinINet keeps to the time-outs.
class WinInetInternet : public IInternet {
public:
    explicit WinInetInternet(WinInetTimeouts timeouts = {});
    ~WinInetInternet() override;
    WinInetInternet(const WinInetInternet&) = delete;
    WinInetInternet& operator=(const WinInetInternet&) = delete;

    void Autodial() override;
    void AutodialHangup() override;
    InternetHandle Open(const std::string& agent) override;
    InternetHandle Connect(InternetHandle internet, const std::string& server, int port,
                           const std::string& user, const std::string& password,
                           bool passive) override;
    std::optional<std::string> GetCurrentDirectory(InternetHandle connection) override;
    InternetHandle FindFirst(InternetHandle connection, const std::string& mask,
                             FindRecord& record) override;
    bool FindNext(InternetHandle search, FindRecord& record) override;
    InternetHandle OpenFile(InternetHandle connection, const std::string& name) override;
    std::size_t Read(InternetHandle file, char* buffer, std::size_t size) override;
    void CloseHandle(InternetHandle handle) override;
    std::string LastError() const override { return lastError_; }

    // How many handles are open (tests check that a run leaves none behind).
    std::size_t OpenHandles() const { return handles_.size(); }

private:
    enum class Kind { Session, Connection, Search, File };

    struct Node {
        Kind kind = Kind::Session;
        InternetHandle parent = kNoHandle;
        void* native = nullptr;  // the WinINet handle; none for a search, which is ours alone
        std::string proxy;       // a session's proxies from the system's settings, if any
        std::optional<std::string> loginDirectory;  // a connection's directory after login
        std::vector<FindRecord> records;            // a search's matching entries
        std::size_t next = 0;                       // the next record FindNext delivers
        std::unique_ptr<WinInetFileReader> reader;  // a file's download
    };

    Node* Find(InternetHandle handle, Kind kind);
    InternetHandle Add(Node node);
    void SetTimeouts(void* handle);
    // The longest a call that waits for the server may take: a new connection and one answer.
    std::chrono::milliseconds ServerDeadline() const;

    WinInetTimeouts timeouts_;
    std::map<InternetHandle, Node> handles_;
    InternetHandle next_ = 1;
    std::string lastError_;
};
