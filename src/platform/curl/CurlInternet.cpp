#include "platform/curl/CurlInternet.h"

#include <curl/curl.h>

#include <vector>

#include "platform/curl/FtpConnection.h"
#include "platform/curl/FtpDownload.h"

CurlInternet::CurlInternet(CurlTimeouts timeouts) : timeouts_(timeouts) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlInternet::~CurlInternet() {
    handles_.CloseAll();
    curl_global_cleanup();
}

InternetHandle CurlInternet::Open(const std::string& /*agent: FTP sends no agent*/) {
    lastError_.clear();
    return handles_.Add(HandleKind::Session, kNoHandle, {});
}

InternetHandle CurlInternet::Connect(InternetHandle internet, const std::string& server, int port,
                                     const std::string& user, const std::string& password,
                                     bool passive) {
    lastError_.clear();
    if (!handles_.Find(internet, HandleKind::Session, lastError_)) return kNoHandle;
    Node node;
    node.ftp = std::make_unique<FtpConnection>(server, port, user, password, passive, timeouts_);
    if (!node.ftp->Login()) {
        lastError_ = node.ftp->LastError();
        return kNoHandle;
    }
    return handles_.Add(HandleKind::Connection, internet, std::move(node));
}

std::optional<std::string> CurlInternet::GetCurrentDirectory(InternetHandle connection) {
    Node* node = handles_.Find(connection, HandleKind::Connection, lastError_);
    if (!node || node->ftp->EntryPath().empty()) return std::nullopt;
    return node->ftp->EntryPath();
}

InternetHandle CurlInternet::FindFirst(InternetHandle connection, const std::string& mask,
                                       FindRecord& record) {
    lastError_.clear();
    Node* conn = handles_.Find(connection, HandleKind::Connection, lastError_);
    if (!conn) return kNoHandle;
    std::vector<FindRecord> records;
    if (!conn->ftp->List(mask, records)) {
        lastError_ = conn->ftp->LastError();
        return kNoHandle;
    }
    return handles_.AddSearch(connection, std::move(records), mask, record, lastError_);
}

bool CurlInternet::FindNext(InternetHandle search, FindRecord& record) {
    return handles_.NextRecord(search, record, lastError_);
}

InternetHandle CurlInternet::OpenFile(InternetHandle connection, const std::string& name) {
    lastError_.clear();
    Node* conn = handles_.Find(connection, HandleKind::Connection, lastError_);
    if (!conn) return kNoHandle;
    Node node;
    node.download = std::make_unique<FtpDownload>(*conn->ftp);
    if (!node.download->Open(name)) {
        lastError_ = conn->ftp->LastError();
        return kNoHandle;
    }
    return handles_.Add(HandleKind::File, connection, std::move(node));
}

std::size_t CurlInternet::Read(InternetHandle file, char* buffer, std::size_t size) {
    Node* node = handles_.Find(file, HandleKind::File, lastError_);
    if (!node) return 0;
    Node* conn = handles_.Find(handles_.Parent(file), HandleKind::Connection, lastError_);
    const std::size_t n = node->download->Read(buffer, size);
    if (n < size && conn) lastError_ = conn->ftp->LastError();
    return n;
}

bool CurlInternet::WaitReadable(InternetHandle file, std::size_t size,
                                std::chrono::milliseconds limit) {
    Node* node = handles_.Find(file, HandleKind::File, lastError_);
    return !node || node->download->WaitReadable(size, limit);  // a bad handle reads 0 at once
}

void CurlInternet::CloseHandle(InternetHandle handle) {
    handles_.Close(handle, lastError_);
}
