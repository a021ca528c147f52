// The Windows side of the online download benchmark (bench/online/run-windows): run under Wine
// (or on Windows) against the loopback FTP test server, it times one of
//   phase  RunOnlineUpdate over WinInetInternet: connect, list, choose, the phase's 512-byte
//          reads (served by the back-end's reader thread, which asks WinINet for 64 KiB at a
//          time), size check; nothing painted, nothing installed
//   raw    the same file read with InternetReadFile in 512-byte calls straight on WinINet, to
//          show what one call costs on this WinINet
// and prints its time in seconds (the process start is not counted).
//
//   online_download_bench_wininet phase|raw <port> <cabinet name> <program folder>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on
#undef GetCurrentDirectory

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "online/OnlineUpdate.h"
#include "platform/HeadlessView.h"
#include "platform/stdfs/StdFileSystem.h"
#include "platform/wininet/WinInetInternet.h"

namespace {

using Clock = std::chrono::steady_clock;

// A window that keeps its texts and paints nothing: the loop's own cost.
class QuietView : public HeadlessView {
public:
    MsgAnswer ShowMessage(const std::string& text, MsgIcon, MsgButtons,
                          const std::optional<std::string>&) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return MsgAnswer::No;
    }
    [[noreturn]] void EndProgram(int code) override { std::exit(code); }
};

class InstallNothing : public IUpdateCabinet {
public:
    void SetCabName(const std::string&) override {}
    std::int32_t FileCount() override { return 5; }
    bool Extract() override { return true; }
};

int Phase(int port, const std::string& name, const std::string& folder) {
    WindowState state;
    state.programVersion = "3.1." + name.substr(5, 1);  // Tn_31x_399.cab upgrades from 3.1.x
    RunLog log;
    WinInetInternet internet;
    StdFileSystem files;
    OnlineUpdateServices services{internet, files, [] { return std::make_unique<InstallNothing>(); },
                                  {"127.0.0.1", port}};
    QuietView view;
    UpgradeContext context{view, state, log, folder, "bench"};
    const auto start = Clock::now();
    const bool ok = RunOnlineUpdate(context, services);
    std::printf("%.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    return ok ? 0 : 1;
}

int Raw(int port, const std::string& name) {
    const auto start = Clock::now();
    HINTERNET session = InternetOpenW(L"Velmora", INTERNET_OPEN_TYPE_DIRECT, L"", L"", 0);
    HINTERNET ftp = InternetConnectW(session, L"127.0.0.1", static_cast<INTERNET_PORT>(port),
                                     L"velmorauser", L"QxmPl47Tzd", INTERNET_SERVICE_FTP,
                                     INTERNET_FLAG_PASSIVE, 0);
    const std::wstring remote(name.begin(), name.end());
    HINTERNET file = ftp ? FtpOpenFileW(ftp, remote.c_str(), GENERIC_READ,
                                        FTP_TRANSFER_TYPE_BINARY, 0)
                         : nullptr;
    std::size_t total = 0;
    if (file) {
        char buffer[512];
        DWORD got = 0;
        while (InternetReadFile(file, buffer, sizeof buffer, &got) && got > 0) total += got;
        InternetCloseHandle(file);
    }
    if (ftp) InternetCloseHandle(ftp);
    if (session) InternetCloseHandle(session);
    std::printf("%.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    std::fprintf(stderr, "raw: %zu bytes\n", total);
    return file ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s phase|raw <port> <cabinet name> [program folder]\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[2]);
    if (std::strcmp(argv[1], "raw") == 0) return Raw(port, argv[3]);
    if (argc < 5) return 2;
    return Phase(port, argv[3], argv[4]);
}
