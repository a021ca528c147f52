#include "platform/curl/FtpConnection.h"

#include <algorithm>
#include <utility>

#include "platform/curl/FtpListing.h"

namespace {

// How long one wait for the socket may last; libcurl's own time-outs decide when to give up.
constexpr long kPollMilliseconds = 200;
// A wait while a transfer is being set up: a few turns of a loopback server, so that a connect
// that libcurl left for its next call costs no more than that.
constexpr long kBriefPollMilliseconds = 2;

// A listing is held whole until it ends, so a server that never ends its answer must not be
// able to fill the memory. The update folder holds at most a few thousand cabinets of about
// 70 bytes a line; these bounds leave room for a folder full of other files as well.
constexpr std::size_t kMostListingBytes = 16 * 1024 * 1024;
constexpr std::size_t kMostListingLines = 200000;

// Gathers the LIST answer. Appending may throw; no exception may cross into libcurl, so a
// failure ends the transfer (a short count) and is noted.
struct ListingState {
    std::string text;
    std::size_t lines = 0;
    bool failed = false;
    bool tooLong = false;
};

std::size_t CollectListing(char* data, std::size_t size, std::size_t count, void* state) {
    auto* listing = static_cast<ListingState*>(state);
    const std::size_t length = size * count;
    try {
        listing->lines += static_cast<std::size_t>(std::count(data, data + length, '\n'));
        if (length > kMostListingBytes - listing->text.size() ||
            listing->lines > kMostListingLines) {
            listing->tooLong = true;
            return 0;  // ends the transfer with a write error
        }
        listing->text.append(data, length);
        return length;
    } catch (...) {
        listing->failed = true;
        return 0;
    }
}

std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// Percent-encodes everything but the unreserved characters and "/".
std::string EscapePath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                          c == '~' || c == '/';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

FtpConnection::FtpConnection(std::string host, int port, std::string user, std::string password,
                             bool passive, const CurlTimeouts& timeouts)
    : host_(std::move(host)),
      port_(port),
      user_(std::move(user)),
      password_(std::move(password)),
      passive_(passive),
      timeouts_(timeouts),
      easy_(curl_easy_init()),
      multi_(curl_multi_init()) {}

FtpConnection::~FtpConnection() {
    Detach();
    // The multi handle owns the connection cache: cleaning it up sends QUIT.
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
}

void FtpConnection::ResetOptions() {
    curl_easy_reset(easy_);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(easy_, CURLOPT_USERNAME, user_.c_str());
    curl_easy_setopt(easy_, CURLOPT_PASSWORD, password_.c_str());
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT, timeouts_.connectSeconds);
    curl_easy_setopt(easy_, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeouts_.responseSeconds);
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, timeouts_.lowSpeedSeconds);
    // Passive mode: EPSV first, PASV when the server does not know EPSV.
    if (passive_) {
        curl_easy_setopt(easy_, CURLOPT_FTPPORT, nullptr);
        curl_easy_setopt(easy_, CURLOPT_FTP_USE_EPSV, 1L);
    } else {
        curl_easy_setopt(easy_, CURLOPT_FTPPORT, "-");
    }
    curl_easy_setopt(easy_, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, DiscardBody);
    errorBuffer_[0] = '\0';
}

std::string FtpConnection::UrlFor(const std::string& path) const {
    std::string url = "ftp://" + host_ + ":" + std::to_string(port_) + "/";
    if (!path.empty() && path[0] == '/') {
        // "%2F" makes libcurl change to the absolute folder instead of one below the login's.
        return url + "%2F" + EscapePath(path.substr(1));
    }
    return url + EscapePath(path);
}

bool FtpConnection::Login() {
    if (!easy_ || !multi_) {
        lastError_ = "libcurl could not make its handles";
        return false;
    }
    ResetOptions();
    curl_easy_setopt(easy_, CURLOPT_URL, UrlFor("").c_str());
    curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    const CURLcode result = RunToEnd();
    if (result != CURLE_OK) {
        NoteError(result);
        return false;
    }
    const char* entry = nullptr;
    if (curl_easy_getinfo(easy_, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry) {
        entryPath_ = entry;
    }
    return true;
}

bool FtpConnection::List(const std::string& mask, std::vector<FindRecord>& records) {
    records.clear();
    auto [folder, pattern] = SplitFtpMask(mask);
    // A folder that is the login directory is listed relative to it; any other as absolute.
    std::string entry = entryPath_;
    if (!entry.empty() && entry.back() != '/') entry += '/';
    if (!entry.empty() && folder.rfind(entry, 0) == 0) folder = folder.substr(entry.size());

    // The whole folder is listed (LIST) and matched here: the listing keeps the server's order,
    // and what the mask means does not depend on how a server reads LIST arguments.
    ResetOptions();
    ListingState state;
    curl_easy_setopt(easy_, CURLOPT_URL, UrlFor(folder).c_str());
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, CollectListing);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(easy_, CURLOPT_TIMEOUT, timeouts_.listingSeconds);
    const CURLcode result = RunToEnd();
    if (state.failed) {
        lastError_ = "the listing could not be stored";
        return false;
    }
    if (state.tooLong) {
        lastError_ = "the listing was longer than " + std::to_string(kMostListingBytes) +
                     " bytes or " + std::to_string(kMostListingLines) + " lines";
        return false;
    }
    if (result != CURLE_OK) {
        NoteError(result);
        return false;
    }
    for (FindRecord& record : ParseFtpListing(state.text)) {
        if (MatchesFtpPattern(pattern, record.fileName)) records.push_back(std::move(record));
    }
    return true;
}

void FtpConnection::Attach() {
    if (attached_) return;
    curl_multi_add_handle(multi_, easy_);
    attached_ = true;
}

void FtpConnection::Detach() {
    if (!attached_) return;
    curl_multi_remove_handle(multi_, easy_);
    attached_ = false;
}

void FtpConnection::Step(Wait wait, bool& done, CURLcode& result) {
    const long limit = wait == Wait::kNone    ? 0
                       : wait == Wait::kBrief ? kBriefPollMilliseconds
                                              : kPollMilliseconds;
    StepFor(limit, done, result);
}

void FtpConnection::StepFor(long pollMilliseconds, bool& done, CURLcode& result) {
    CURLMcode code = CURLM_OK;
    if (pollMilliseconds > 0) {
        code = curl_multi_poll(multi_, nullptr, 0, static_cast<int>(pollMilliseconds), nullptr);
    }
    int running = 0;
    if (code == CURLM_OK) code = curl_multi_perform(multi_, &running);
    if (code != CURLM_OK) {
        lastError_ = curl_multi_strerror(code);
        done = true;
        result = CURLE_FAILED_INIT;
        return;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
            done = true;
            result = message->data.result;
        }
    }
}

CURLcode FtpConnection::RunToEnd() {
    Attach();
    bool done = false;
    CURLcode result = CURLE_OK;
    // Logins and listings are short exchanges: all of it is set-up.
    for (bool first = true; !done; first = false) {
        Step(first ? Wait::kNone : Wait::kBrief, done, result);
    }
    Detach();
    return result;
}

void FtpConnection::NoteError(CURLcode code) {
    lastError_ = "libcurl error " + std::to_string(static_cast<int>(code)) + ": " +
                 (errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(code));
}
