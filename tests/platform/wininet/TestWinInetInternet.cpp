// WinINet against the loopback FTP test server, run under Wine (or on Windows). The server runs
// beside this program (tests/support/with-ftp-server), one configuration per ctest entry; each
// test suite is written for one configuration:
//   WinInet/InternetContract  the contract every back-end keeps: --order Tn_b.cab,Tn_dir.cab,...
//   RefusedLogin              --refuse-login
//   Silent                    --silent
//   ShortTransfer             --cut-after 3000 and --truncate-after 3000
//   Stalled                   --stall-after 3000
// Without the server's environment the tests skip, saying why.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/internet/InternetContract.h"
#include "platform/wininet/WinInetInternet.h"

namespace {

constexpr std::size_t kServerLimit = 3000;  // the byte count given to the fault flags
// Short time-outs for the tests that wait for them; generous ones for the others, whose
// answers must never be mistaken for silence however slowly a loaded machine runs Wine (the
// server also takes 3 s to refuse a login).
constexpr WinInetTimeouts kSilenceTimeouts{1500, 1500, 1500};
constexpr WinInetTimeouts kStallTimeouts{10000, 1500, 1500};  // a quick stall, a slow login
constexpr WinInetTimeouts kGenerousTimeouts{10000, 10000, 10000};

WinInetTimeouts TimeoutsForThisTest() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string suite = test ? test->test_suite_name() : "";
    if (suite == "Silent") return kSilenceTimeouts;
    if (suite == "Stalled") return kStallTimeouts;
    return kGenerousTimeouts;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct WinInetHarness {
    WinInetInternet net{TimeoutsForThisTest()};

    std::string Unavailable() const {
        if (!Env("VELMORA_TEST_FTP_PORT").empty()) return {};
        return "needs the FTP test server: run through tests/support/with-ftp-server";
    }
    int Port() const { return std::atoi(Env("VELMORA_TEST_FTP_PORT").c_str()); }
    int ClosedPort() const { return std::atoi(Env("VELMORA_TEST_FTP_CLOSED_PORT").c_str()); }
    std::filesystem::path Root() const { return Env("VELMORA_TEST_FTP_ROOT"); }
    std::vector<std::string> Commands() const {
        std::ifstream log(std::filesystem::path(Env("VELMORA_TEST_FTP_LOG")));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        return lines;
    }
    static constexpr const char* kMissingFile = "12003";
    static constexpr const char* kClosedPort = "12029";
};

}  // namespace

using namespace internet_contract;
INSTANTIATE_TYPED_TEST_SUITE_P(WinInet, InternetContract, ::testing::Types<WinInetHarness>);

namespace {

using WinInetTest = InternetContract<WinInetHarness>;
using RefusedLogin = WinInetTest;
using Silent = WinInetTest;
using ShortTransfer = WinInetTest;
using Stalled = WinInetTest;

TEST_F(RefusedLogin, GivesNoHandleAndNamesTheRefusal) {
    EXPECT_EQ(Login(h.Port()), kNoHandle);
    EXPECT_NE(h.net.LastError().find("12015"), std::string::npos) << h.net.LastError();
    EXPECT_EQ(h.net.OpenHandles(), 1u);  // the session only
    EXPECT_EQ(h.Commands().at(0), "USER velmorauser");
}

TEST_F(Silent, ConnectEndsInAFailureInsteadOfWaitingForEver) {
    EXPECT_EQ(Login(h.Port()), kNoHandle);
    EXPECT_FALSE(h.net.LastError().empty());
    h.net.CloseHandle(internet_);
    EXPECT_EQ(h.net.OpenHandles(), 0u);
}

TEST_F(ShortTransfer, ReadEndsShortAtTheServersLimit) {
    Offer("Tn_a.cab", Pattern(10000));
    Connect();
    int shortReads = 0;
    const std::string received = Download("Tn_a.cab", &shortReads);
    EXPECT_EQ(received.size(), kServerLimit);
    EXPECT_EQ(received == Pattern(10000).substr(0, kServerLimit), true);
    EXPECT_EQ(shortReads, 1);
}

TEST_F(Stalled, ATransferThatStopsMovingEndsShortWithAReason) {
    Offer("Tn_a.cab", Pattern(10000));
    Connect();
    const std::string received = Download("Tn_a.cab");
    EXPECT_EQ(received.size(), kServerLimit);
    EXPECT_NE(h.net.LastError().find("no data"), std::string::npos) << h.net.LastError();
    h.net.CloseHandle(internet_);
    EXPECT_EQ(h.net.OpenHandles(), 0u);
}

// A caller waiting in short slices is never held longer than its slice while the transfer is
// stalled, and is let through once the stall limit has passed: the read then ends at once.
TEST_F(Stalled, WaitingInSlicesSeesTheStallOnceItsLimitHasPassed) {
    Offer("Tn_a.cab", Pattern(10000));
    Connect();
    const InternetHandle file = h.net.OpenFile(connection_, "Tn_a.cab");
    ASSERT_NE(file, kNoHandle) << h.net.LastError();
    using Clock = std::chrono::steady_clock;
    char buffer[512];
    std::size_t received = 0;
    int emptySlices = 0;
    auto longestSlice = Clock::duration::zero();
    for (std::size_t n = sizeof buffer; n == sizeof buffer; received += n) {
        for (;;) {
            const auto asked = Clock::now();
            const bool readable = h.net.WaitReadable(file, sizeof buffer, std::chrono::milliseconds(50));
            longestSlice = std::max(longestSlice, Clock::now() - asked);
            if (readable) break;
            ASSERT_LT(++emptySlices, 400) << "still waiting after 20 s";
        }
        const auto asked = Clock::now();
        n = h.net.Read(file, buffer, sizeof buffer);
        EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(500)) << "the read waited";
    }
    EXPECT_EQ(received, kServerLimit);
    EXPECT_GE(emptySlices, 10) << "the 1.5 s stall limit passed in fewer slices";
    EXPECT_LT(longestSlice, std::chrono::milliseconds(1000));
    EXPECT_NE(h.net.LastError().find("no data"), std::string::npos) << h.net.LastError();
    h.net.CloseHandle(internet_);
}

}  // namespace
