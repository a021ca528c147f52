#pragma once

#include <memory>
#include <string>

#include "platform/IInternet.h"
#include "platform/curl/CurlTimeouts.h"
#include "platform/internet/HandleTable.h"

class FtpConnection;
class FtpDownload;

// IInternet over libcurl's FTP client. Passive mode, binary transfers; a listing is the
// folder's LIST answer matched against the mask's last part, case-sensitively like the server's
// own file names. There is no dial-up on this platform: Autodial and AutodialHangup do nothing.
class CurlInternet : public IInternet {
public:
    explicit CurlInternet(CurlTimeouts timeouts = {});
    ~CurlInternet() override;
    CurlInternet(const CurlInternet&) = delete;
    CurlInternet& operator=(const CurlInternet&) = delete;

    void Autodial() override {}
    void AutodialHangup() override {}
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
        std::unique_ptr<FtpConnection> ftp;     // a connection's
        std::unique_ptr<FtpDownload> download;  // a file's
    };

    CurlTimeouts timeouts_;
    HandleTable<Node> handles_;
    std::string lastError_;
};
