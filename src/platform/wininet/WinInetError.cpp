#include "platform/wininet/WinInetError.h"

// Lean: the full windows.h brings in urlmon.h, whose COM interface IInternet would clash
// with ours.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <string_view>

#include "common/Utf16.h"

namespace {

// The WinINet errors an FTP session meets, in words. FormatMessage knows them only through
// wininet.dll's message table, which not every Windows (nor Wine) fills: a table of our own
// gives the same log on every machine.
std::string_view KnownMeaning(DWORD code) {
    switch (code) {
        case ERROR_INTERNET_TIMEOUT: return "the operation timed out";
        case ERROR_INTERNET_INTERNAL_ERROR: return "internal error";
        case ERROR_INTERNET_INVALID_URL: return "invalid URL";
        case ERROR_INTERNET_NAME_NOT_RESOLVED: return "the server name could not be resolved";
        case ERROR_INTERNET_INCORRECT_HANDLE_TYPE: return "wrong kind of handle";
        case ERROR_INTERNET_INVALID_OPERATION: return "invalid operation";
        case ERROR_INTERNET_OPERATION_CANCELLED: return "the operation was cancelled";
        case ERROR_INTERNET_EXTENDED_ERROR: return "the server refused";
        case ERROR_INTERNET_LOGIN_FAILURE: return "the login was refused";
        case ERROR_INTERNET_CONNECTION_ABORTED: return "the connection was aborted";
        case ERROR_INTERNET_CONNECTION_RESET: return "the connection was reset";
        case ERROR_INTERNET_CANNOT_CONNECT: return "the server could not be reached";
        case ERROR_INTERNET_SERVER_UNREACHABLE: return "the server is unreachable";
        case ERROR_FTP_TRANSFER_IN_PROGRESS: return "another FTP transfer is in progress";
        case ERROR_FTP_DROPPED: return "the FTP transfer was dropped";
        case ERROR_INVALID_HANDLE: return "invalid handle";
        case ERROR_NO_MORE_FILES: return "no more files";
        case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
        default: return "";
    }
}

// The server's last answer on the control connection, trimmed; empty when there is none.
std::string LastServerAnswer() {
    DWORD serverCode = 0;
    DWORD length = 0;
    InternetGetLastResponseInfoW(&serverCode, nullptr, &length);
    if (length == 0) return {};
    std::wstring text(length + 1, L'\0');
    if (!InternetGetLastResponseInfoW(&serverCode, text.data(), &length)) return {};
    text.resize(length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'\0')) {
        text.pop_back();
    }
    return Utf8FromWide(text);
}

}  // namespace

std::string DescribeLastWinInetError() {
    const DWORD code = GetLastError();
    std::string text = "WinINet error " + std::to_string(code);
    const std::string_view meaning = KnownMeaning(code);
    if (!meaning.empty()) text += ": " + std::string(meaning);
    // Only these errors leave the server's answer behind; after any other the buffer holds an
    // older, unrelated answer.
    if (code == ERROR_INTERNET_EXTENDED_ERROR || code == ERROR_INTERNET_LOGIN_FAILURE) {
        const std::string answer = LastServerAnswer();
        if (!answer.empty()) text += " (server: " + answer + ")";
    }
    return text;
}
