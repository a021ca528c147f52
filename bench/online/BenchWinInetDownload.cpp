// The Windows side of the online download benchmark (bench/online/run-windows): run under Wine
// (or on Windows) against the loopback FTP test server, it times one of
//   phase  RunOnlineUpdate over WinInetInternet: connect, list, choose, the phase's 512-byte
//          reads (served by the back-end's reader thread, which asks WinINet for 64 KiB at a
//          time), size check; nothing painted, nothing installed
//   reader the same file through WinInetInternet's Read in 512-byte pieces, without the phase
//   raw    the same file read with InternetReadFile straight on WinINet, in calls of the given
//          size (512 bytes as the phase asks, or 65536 as the reader thread asks), to show what
//          one call costs on this WinINet
// and prints its time in seconds (the process start is not counted).
//
//   online_download_bench_wininet phase <port> <cabinet name> <program folder>
//   online_download_bench_wininet reader <port> <cabinet name>
//   online_download_bench_wininet raw <port> <cabinet name> <bytes per call>
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
#include <vector>

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

int Reader(int port, const std::string& name) {
    const auto start = Clock::now();
    WinInetInternet internet;
    const InternetHandle session = internet.Open("Velmora");
    const InternetHandle ftp =
        internet.Connect(session, "127.0.0.1", port, "velmorauser", "QxmPl47Tzd", true);
    const InternetHandle file = internet.OpenFile(ftp, name);
    std::size_t total = 0;
    char buffer[512];
    for (std::size_t n = sizeof buffer; file != kNoHandle && n == sizeof buffer; total += n) {
        n = internet.Read(file, buffer, sizeof buffer);
    }
    internet.CloseHandle(session);
    std::printf("%.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    std::fprintf(stderr, "reader: %zu bytes\n", total);
    return file != kNoHandle ? 0 : 1;
}

int Raw(int port, const std::string& name, std::size_t piece) {
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
    std::size_t calls = 0;
    if (file) {
        std::vector<char> buffer(piece);
        DWORD got = 0;
        while (InternetReadFile(file, buffer.data(), static_cast<DWORD>(piece), &got) && got > 0) {
            total += got;
            ++calls;
        }
        InternetCloseHandle(file);
    }
    if (ftp) InternetCloseHandle(ftp);
    if (session) InternetCloseHandle(session);
    std::printf("%.6f\n", std::chrono::duration<double>(Clock::now() - start).count());
    std::fprintf(stderr, "raw: %zu bytes in %zu calls\n", total, calls);
    return file ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s phase|reader|raw <port> <cabinet name> [folder|bytes]\n",
                     argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[2]);
    if (std::strcmp(argv[1], "reader") == 0) return Reader(port, argv[3]);
    if (std::strcmp(argv[1], "raw") == 0) {
        return Raw(port, argv[3], argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 512);
    }
    if (argc < 5) return 2;
    return Phase(port, argv[3], argv[4]);
}
