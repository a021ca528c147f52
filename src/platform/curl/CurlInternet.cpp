#include "platform/curl/CurlInternet.h"

#include <curl/curl.h>

#include <vector>

#include "platform/curl/FtpConnection.h"
#include "platform/curl/FtpDownload.h"

// The handles form a tree: session, connection, then a search or a file on the connection.
// Closing a handle closes its children first, as the platform's internet functions do.
struct CurlInternet::Node {
    virtual ~Node() = default;
    InternetHandle parent = kNoHandle;
};

namespace {

struct SessionNode : CurlInternet::Node {};

struct ConnectionNode : CurlInternet::Node {
    std::unique_ptr<FtpConnection> ftp;
};

struct SearchNode : CurlInternet::Node {
    std::vector<FindRecord> records;
    std::size_t next = 0;
};

struct FileNode : CurlInternet::Node {
    std::unique_ptr<FtpDownload> download;
};

}  // namespace

CurlInternet::CurlInternet(CurlTimeouts timeouts) : timeouts_(timeouts) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlInternet::~CurlInternet() {
    // Children before parents: files and searches, then connections, then sessions.
    while (!handles_.empty()) CloseHandle(handles_.rbegin()->first);
    curl_global_cleanup();
}

template <class T>
T* CurlInternet::Find(InternetHandle handle) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        lastError_ = "invalid handle";
        return nullptr;
    }
    T* node = dynamic_cast<T*>(it->second.get());
    if (!node) lastError_ = "wrong kind of handle";
    return node;
}

InternetHandle CurlInternet::Add(std::unique_ptr<Node> node) {
    const InternetHandle handle = next_++;
    handles_.emplace(handle, std::move(node));
    return handle;
}

InternetHandle CurlInternet::Open(const std::string& /*agent: FTP sends no agent*/) {
    lastError_.clear();
    return Add(std::make_unique<SessionNode>());
}

InternetHandle CurlInternet::Connect(InternetHandle internet, const std::string& server, int port,
                                     const std::string& user, const std::string& password,
                                     bool passive) {
    lastError_.clear();
    if (!Find<SessionNode>(internet)) return kNoHandle;
    auto node = std::make_unique<ConnectionNode>();
    node->parent = internet;
    node->ftp = std::make_unique<FtpConnection>(server, port, user, password, passive, timeouts_);
    if (!node->ftp->Login()) {
        lastError_ = node->ftp->LastError();
        return kNoHandle;
    }
    return Add(std::move(node));
}

std::optional<std::string> CurlInternet::GetCurrentDirectory(InternetHandle connection) {
    auto* node = Find<ConnectionNode>(connection);
    if (!node || node->ftp->EntryPath().empty()) return std::nullopt;
    return node->ftp->EntryPath();
}

InternetHandle CurlInternet::FindFirst(InternetHandle connection, const std::string& mask,
                                       FindRecord& record) {
    lastError_.clear();
    auto* conn = Find<ConnectionNode>(connection);
    if (!conn) return kNoHandle;
    auto node = std::make_unique<SearchNode>();
    node->parent = connection;
    if (!conn->ftp->List(mask, node->records)) {
        lastError_ = conn->ftp->LastError();
        return kNoHandle;
    }
    if (node->records.empty()) {
        lastError_ = "no file matches " + mask;
        return kNoHandle;
    }
    record = node->records[0];
    node->next = 1;
    return Add(std::move(node));
}

bool CurlInternet::FindNext(InternetHandle search, FindRecord& record) {
    auto* node = Find<SearchNode>(search);
    if (!node || node->next >= node->records.size()) return false;
    record = node->records[node->next++];
    return true;
}

InternetHandle CurlInternet::OpenFile(InternetHandle connection, const std::string& name) {
    lastError_.clear();
    auto* conn = Find<ConnectionNode>(connection);
    if (!conn) return kNoHandle;
    auto node = std::make_unique<FileNode>();
    node->parent = connection;
    node->download = std::make_unique<FtpDownload>(*conn->ftp);
    if (!node->download->Open(name)) {
        lastError_ = conn->ftp->LastError();
        return kNoHandle;
    }
    return Add(std::move(node));
}

std::size_t CurlInternet::Read(InternetHandle file, char* buffer, std::size_t size) {
    auto* node = Find<FileNode>(file);
    if (!node) return 0;
    auto* conn = Find<ConnectionNode>(node->parent);
    const std::size_t n = node->download->Read(buffer, size);
    if (n < size && conn) lastError_ = conn->ftp->LastError();
    return n;
}

void CurlInternet::CloseHandle(InternetHandle handle) {
    if (handles_.find(handle) == handles_.end()) {
        lastError_ = "invalid handle";
        return;
    }
    std::vector<InternetHandle> children;
    for (const auto& [id, node] : handles_) {
        if (node->parent == handle) children.push_back(id);
    }
    for (InternetHandle child : children) CloseHandle(child);
    handles_.erase(handle);
}
