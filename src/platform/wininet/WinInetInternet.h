#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/IInternet.h"
#include "platform/internet/HandleTable.h"
#include "platform/wininet/WinInetFileReader.h"
#include "platform/wininet/WinInetTimeouts.h"

// IInternet over the Windows internet functions (WinINet), synchronous, in their wide-character
// form: UTF-8 inside, UTF-16 at the call. The system's proxy settings apply (a failed connection
// through a proxy that cannot carry FTP says so in its error). Passive mode, binary transfers,
// the time-outs set on the session so that a silent server ends in a failure rather than a hang.
//
// Every WinINet handle sits in the handle table and so reaches WinINet's close exactly once,
// however often the caller closes it. A search is served from the table too: its listing is
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
    bool WaitReadable(InternetHandle file, std::size_t size,
                      std::chrono::milliseconds limit) override;
    void CloseHandle(InternetHandle handle) override;
    std::string LastError() const override { return lastError_; }

    // How many handles are open (tests check that a run leaves none behind).
    std::size_t OpenHandles() const { return handles_.Size(); }

private:
    struct Node {
        void* native = nullptr;  // the WinINet handle
        std::string proxy;       // a session's proxies from the system's settings, if any
        std::optional<std::string> loginDirectory;  // a connection's directory after login
        std::unique_ptr<WinInetFileReader> reader;  // a file's download
    };

    static void Release(Node& node);
    void SetTimeouts(void* handle);
    // The longest a call that waits for the server may take: a new connection and one answer.
    std::chrono::milliseconds ServerDeadline() const;

    WinInetTimeouts timeouts_;
    HandleTable<Node> handles_;
    std::string lastError_;
};
