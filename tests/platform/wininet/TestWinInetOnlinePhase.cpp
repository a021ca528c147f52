// The online update phase over WinINet against the loopback FTP test server, end to end: the same
// conversation, choice, byte-exact download and handle discipline as over libcurl. Runs under its
// own server (with-ftp-server --order ...), so that the listing holds only its cabinets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "online/FakeUpdateCabinet.h"
#include "online/OnlineUpdate.h"
#include "online/RecordingInternet.h"
#include "platform/stdfs/StdFileSystem.h"
#include "platform/wininet/WinInetInternet.h"
#include "run/RunLog.h"
#include "run/UpgradeContext.h"
#include "run/WindowState.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ServedPhase, DownloadsTheCabinetThatUpgradesFromTheInstalledVersion) {
    const char* port = std::getenv("VELMORA_TEST_FTP_PORT");
    if (!port) GTEST_SKIP() << "needs the FTP test server: run through tests/support/with-ftp-server";
    const fs::path root = std::getenv("VELMORA_TEST_FTP_ROOT");
    // The server lists them in this order (--order Tn_314_315.cab,Tn_315_316.cab,Tn_316_317.cab).
    std::ofstream(root / "Tn_314_315.cab", std::ios::binary) << Bytes(700);
    std::ofstream(root / "Tn_315_316.cab", std::ios::binary) << Bytes(1024);
    std::ofstream(root / "Tn_316_317.cab", std::ios::binary) << Bytes(900);
    std::ofstream(root / "tn_315_999.cab", std::ios::binary) << Bytes(10);  // another case: not listed

    TempFolder program("velmora-wininet-program");
    program.Write("Tarvik.exe", "MZ program");
    ScriptedView view;
    WindowState state;
    state.programVersion = "3.1.5";
    RunLog log((program.path() / "Tarvik_Upg.log").string());
    UpgradeContext context{view, state, log, program.str(), "prog"};
    WinInetInternet wininet(WinInetTimeouts{10000, 10000, 10000});
    RecordingInternet net(wininet);
    StdFileSystem files;
    FakeCabinetScript cabinet;
    OnlineUpdateServices services{
        net, files, [&] { return std::make_unique<FakeUpdateCabinet>(cabinet); },
        {"127.0.0.1", std::atoi(port)}};

    ASSERT_TRUE(RunOnlineUpdate(context, services));

    EXPECT_EQ(ReadAll(program.path() / "Tn_315_316.cab"), Bytes(1024));
    std::string runningLog;
    for (const auto& [control, text] : view.textHistory) {
        if (control == Control::TxtRez && !text.empty()) runningLog = text;
    }
    EXPECT_NE(runningLog.find("Verzije na raspolaganju :Tn_314_315.cab / 700, Tn_315_316.cab / "
                              "1024, Tn_316_317.cab / 900, \r\n"),
              std::string::npos)
        << runningLog;
    EXPECT_EQ(net.reads, 3);  // 512, 512 and the empty read that ends the file
    EXPECT_TRUE(net.EveryHandleClosedOnce());
    EXPECT_TRUE(net.HungUp());
    EXPECT_EQ(wininet.OpenHandles(), 0u);
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
