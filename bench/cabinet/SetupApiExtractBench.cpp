// Peak memory and time of CabFile::Extract over the SetupAPI iterator, for each cabinet given,
// each extraction in a process of its own, beside the same process doing no extraction at all
// (the peer: what the program and the system libraries take by themselves). The memory an
// extraction adds must not grow with the cabinet's size.
//
//   setupapi_extract_bench SMALL.cab LARGE.cab ...
//
// The cabinets are made on the Linux side (bench/cabinet/run-windows makes them with gcab).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cabinet/CabFile.h"
#include "common/Paths.h"
#include "platform/HeadlessView.h"
#include "platform/setupapi/SetupApiCabinetIterator.h"
#include "common/Utf16.h"
#include "platform/stdfs/StdFileSystem.h"

// After the cabinet contract: the system headers make macros of its constants' names.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

namespace fs = std::filesystem;

namespace {

// The installation's file system, handed in as the programs' wiring hands in theirs.
StdFileSystem realFiles;

// Message boxes are printed: a failed extraction must be seen in the figures.
class PrintingView : public HeadlessView {
public:
    MsgAnswer ShowMessage(const std::string& text, MsgIcon, MsgButtons,
                          const std::optional<std::string>&) override {
        std::fprintf(stderr, "box: %s\n", text.c_str());
        return MsgAnswer::Ok;
    }
    [[noreturn]] void EndProgram(int exitCode) override { std::exit(exitCode); }
};

struct Figures {
    double seconds = 0;
    double peakMiB = 0;
    bool ok = false;
};

double PeakWorkingSetMiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// In the child: extracts `cab` (empty: nothing) into `out` and writes its figures to `report`.
int Child(const std::string& cab, const std::string& out, const std::string& report) {
    Figures f;
    const auto start = std::chrono::steady_clock::now();
    if (cab.empty()) {
        f.ok = true;
    } else {
        PrintingView view;
        SetupApiCabinetIterator iterator;
        CabFile cabinet(view, iterator, realFiles);
        cabinet.SetCabName(cab);
        f.ok = cabinet.Extract("", out, "");
    }
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.peakMiB = PeakWorkingSetMiB();
    std::ofstream(FsPath(report)) << f.seconds << ' ' << f.peakMiB << ' ' << f.ok << '\n';
    return f.ok ? 0 : 1;
}

std::wstring Quoted(const std::string& text) { return L"\"" + WideFromUtf8(text) + L"\""; }

Figures RunChild(const std::string& cab, const std::string& out) {
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string report = Utf8Path(fs::temp_directory_path() / "velmora-bench-report.txt");
    std::wstring command = Quoted(Utf8FromWide(self)) + L" --child " +
                           Quoted(cab) + L" " + Quoted(out) + L" " + Quoted(report);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        throw std::runtime_error("cannot start the child");
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Figures f;
    std::ifstream(FsPath(report)) >> f.seconds >> f.peakMiB >> f.ok;
    return f;
}

Figures Best(const std::string& cab, int runs) {
    Figures best;
    best.seconds = 1e300;
    for (int i = 0; i < runs; ++i) {
        const fs::path out = fs::temp_directory_path() / "velmora-bench-out";
        fs::remove_all(out);
        fs::create_directories(out);
        const Figures f = RunChild(cab, Utf8Path(out));
        fs::remove_all(out);
        if (!f.ok) return f;
        if (f.seconds < best.seconds) best.seconds = f.seconds;
        if (f.peakMiB > best.peakMiB) best.peakMiB = f.peakMiB;
        best.ok = true;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--child") return Child(argv[2], argv[3], argv[4]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: setupapi_extract_bench CABINET...\n");
        return 2;
    }
    const int runs = 3;
    const Figures idle = Best("", runs);
    std::printf("%-40s %10s %10s %12s %10s\n", "cabinet", "MiB", "seconds", "peak MiB",
                "vs idle");
    std::printf("%-40s %10s %10.3f %12.1f %10s\n", "(no extraction: the peer)", "-", idle.seconds,
                idle.peakMiB, "1.00");
    std::vector<double> peaks;
    for (int i = 1; i < argc; ++i) {
        const std::string cab = argv[i];
        const double mib = static_cast<double>(fs::file_size(FsPath(cab))) / (1024.0 * 1024.0);
        const Figures f = Best(cab, runs);
        if (!f.ok) {
            std::printf("%-40s extraction failed\n", cab.c_str());
            return 1;
        }
        std::printf("%-40s %10.1f %10.3f %12.1f %10.2f\n", fs::path(cab).filename().string().c_str(),
                    mib, f.seconds, f.peakMiB, f.peakMiB / idle.peakMiB);
        peaks.push_back(f.peakMiB);
    }
    if (peaks.size() >= 2)
        std::printf("peak of the last over the first: %.2f (flat: about 1)\n",
                    peaks.back() / peaks.front());
    return 0;
}
