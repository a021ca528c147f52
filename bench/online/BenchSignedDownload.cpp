// What checking the signature adds to the online update's download: the phase (connect, list,
// choose, 512-byte reads, size check) over a 64 MiB cabinet from the loopback FTP server, run
// alternately without keys and with the maker's key and the cabinet's signature file on the
// server (the SHA-256 taken while the bytes are written, the signature file fetched over the same
// connection, the ECDSA check). No window: the phase's own time, where the check weighs most.
// As a reference, the SHA-256 of the downloaded file read back afterwards (what checking after
// the download would add).
//
//   online_signed_bench [--runs N] [--size MiB]
//
// Prints the best time of each side and their ratio (target: at most 1.10), the median of the
// ratios of the runs taken in pairs, and the processor time each side took (its threads and
// the kernel's work for it): on a machine whose two cores are busy with other work the hashing
// thread finds no idle core, and the processor time is what the check then adds.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/FtpServerProcess.h"
#include "online/OnlineUpdate.h"
#include "platform/HeadlessView.h"
#include "platform/curl/CurlInternet.h"
#include "platform/openssl/OpenSslCrypto.h"
#include "platform/stdfs/StdFileSystem.h"
#include "signing/CabinetSignature.h"
#include "support/TempFolder.h"
#include "support/TestKeys.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x);
    }
    return bytes;
}

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Timing {
    double seconds = -1;  // negative when the run failed
    double processor = 0;
};

// One phase run: its time and the processor time it took.
Timing RunPhase(int port, const fs::path& program, const UpdateTrust& trust) {
    fs::remove_all(program);
    fs::create_directories(program);
    std::ofstream(program / "Tarvik.exe") << "MZ";
    QuietView view;
    WindowState state;
    state.programVersion = "3.1.0";
    RunLog log;
    CurlInternet internet;
    StdFileSystem files;
    OnlineUpdateServices services{internet, files, [] { return std::make_unique<InstallNothing>(); },
                                  {"127.0.0.1", port}, trust};
    UpgradeContext context{view, state, log, program.string(), "bench"};
    const double processor = ProcessorSeconds();
    const auto start = Clock::now();
    const bool ok = RunOnlineUpdate(context, services);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {ok ? seconds : -1, ProcessorSeconds() - processor};
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::size_t mib = 64;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--size") == 0) mib = static_cast<std::size_t>(std::atoi(argv[i + 1]));
    }
    TempFolder root("velmora-bench-signed-ftp");
    TempFolder work("velmora-bench-signed-work");
    const std::string name = "Tn_310_399.cab";
    root.Write(name, Pattern(mib << 20));
    OpenSslCrypto crypto;
    const TestKeyPair key = MakeTestKeyPair(work, "maker");
    if (key.privatePem.empty()) {
        std::fprintf(stderr, "openssl could not make a key\n");
        return 1;
    }
    root.Write(name + ".sig", SignCabinet(crypto, TempFolder::Read(key.privatePem),
                                          (root.path() / name).string()));
    const UpdateTrust keyed = TrustOfKeys(crypto, TempFolder::Read(key.publicPem).c_str());
    const UpdateTrust none;
    FtpServerProcess server(root.str(), (work.path() / "ftp.log").string());

    double plain = 1e9, checked = 1e9, readBack = 1e9;
    std::vector<double> ratios, plainProcessor, checkedProcessor;
    bool allOk = true;
    for (int r = 0; r < runs; ++r) {
        const Timing a = RunPhase(server.port(), work.path() / "plain", none);
        const Timing b = RunPhase(server.port(), work.path() / "checked", keyed);
        allOk = allOk && a.seconds > 0 && b.seconds > 0;
        if (a.seconds > 0) plain = std::min(plain, a.seconds);
        if (b.seconds > 0) checked = std::min(checked, b.seconds);
        if (a.seconds > 0 && b.seconds > 0) ratios.push_back(b.seconds / a.seconds);
        plainProcessor.push_back(a.processor);
        checkedProcessor.push_back(b.processor);
        const auto start = Clock::now();
        DigestOfFile(crypto, (work.path() / "plain" / name).string());
        readBack = std::min(readBack, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::printf("online download of %zu MiB, no window, best of %d runs\n", mib, runs);
    std::printf("  without keys          %8.3f s\n", plain);
    std::printf("  with the signature    %8.3f s   ratio %.3f (target at most 1.10)\n", checked,
                checked / plain);
    std::printf("  median ratio of the runs in pairs %.3f\n", Median(ratios));
    std::printf("  processor time (median)  without keys %.3f s, with the signature %.3f s\n",
                Median(plainProcessor), Median(checkedProcessor));
    std::printf("  SHA-256 read back     %8.3f s   (checking after the download would add it)\n",
                readBack);
    if (!allOk) std::printf("some runs failed\n");
    return allOk ? 0 : 1;
}
