#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/IInternet.h"
#include "platform/curl/CurlTimeouts.h"

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
    void CloseHandle(InternetHandle handle) override;
    std::string LastError() const override { return lastError_; }

    // How many handles are open (tests check that a run leaves none behind).
    std::size_t OpenHandles() const { return handles_.size(); }

    // One open handle's object (defined in the .cpp file).
    struct Node;

private:
    template <class T>
    T* Find(InternetHandle handle);
    InternetHandle Add(std::unique_ptr<Node> node);

    CurlTimeouts timeouts_;
    std::map<InternetHandle, std::unique_ptr<Node>> handles_;
    InternetHandle next_ = 1;
    std::string lastError_;
};
