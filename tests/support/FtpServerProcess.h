#pragma once

#include <string>
#include <vector>

// The loopback FTP test server (tests/support/ftp_server.py) as a child process: started on a
// free port, serving `root` to the update account, logging the commands it receives to `log`.
// Killed when the object goes.
class FtpServerProcess {
public:
    FtpServerProcess(const std::string& root, const std::string& log,
                     const std::vector<std::string>& options = {});
    ~FtpServerProcess();
    FtpServerProcess(const FtpServerProcess&) = delete;
    FtpServerProcess& operator=(const FtpServerProcess&) = delete;

    int port() const { return port_; }
    // The commands received so far, one per element ("USER velmorauser", "RETR x.cab", ...).
    std::vector<std::string> Commands() const;

private:
    std::string log_;
    int pid_ = -1;
    int port_ = 0;
};

// A loopback port on which nothing listens (bound, then released).
int UnusedLoopbackPort();
