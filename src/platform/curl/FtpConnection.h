#pragma once

#include <curl/curl.h>

#include <string>
#include <vector>

#include "platform/IInternet.h"
#include "platform/curl/CurlTimeouts.h"

// One logged-in FTP connection: one easy handle on a multi handle of its own, so that the
// login, the listing and the download all reuse the same control connection. One transfer at
// a time. Never throws; failures leave their text in LastError().
class FtpConnection {
public:
    FtpConnection(std::string host, int port, std::string user, std::string password,
                  bool passive, const CurlTimeouts& timeouts);
    ~FtpConnection();
    FtpConnection(const FtpConnection&) = delete;
    FtpConnection& operator=(const FtpConnection&) = delete;

    bool Login();
    // The directory the server reported after login; empty when it reported none.
    const std::string& EntryPath() const { return entryPath_; }
    // The entries matching the mask's last part, in the server's order; false on a failure
    // other than "nothing matches".
    bool List(const std::string& mask, std::vector<FindRecord>& records);

    // The URL of a path relative to the login directory, or absolute when it starts with "/".
    std::string UrlFor(const std::string& path) const;

    CURL* easy() const { return easy_; }
    CURLM* multi() const { return multi_; }
    // Adds the easy handle to the multi handle; Step drives it; Detach removes it.
    void Attach();
    // How long a step waits for the sockets before it lets the transfer move. While a
    // transfer is being set up (commands and answers, the passive data connection) the waits
    // are brief: libcurl 7.88 may leave the data connection's connect to its next call without
    // anything on which a wait would wake (when the EPSV answer came in the same read), and a
    // full wait would then stall every transfer by its whole length.
    enum class Wait { kNone, kBrief, kFull };
    // Waits for the sockets as asked, then lets the transfer move; sets `done` and `result`
    // when it has ended.
    void Step(Wait wait, bool& done, CURLcode& result);
    // As Step, waiting at most `pollMilliseconds` for the sockets (0: not at all).
    void StepFor(long pollMilliseconds, bool& done, CURLcode& result);
    void Detach();
    // Runs an attached transfer to its end.
    CURLcode RunToEnd();
    void NoteError(CURLcode code);
    // Sets the options every transfer on this connection starts from: the account, passive
    // mode, binary type and the time-outs.
    void ResetOptions();

    const std::string& LastError() const { return lastError_; }

private:

    std::string host_;
    int port_;
    std::string user_;
    std::string password_;
    bool passive_;
    CurlTimeouts timeouts_;
    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;
    bool attached_ = false;
    std::string entryPath_;
    std::string lastError_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};
