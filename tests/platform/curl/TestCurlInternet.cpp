// The libcurl internet functions against the loopback FTP server: the contract every back-end
// keeps, each case with a server of its own, and the cap on a listing that never ends.
#include <gtest/gtest.h>

#include "support/FtpServerProcess.h"
#include "platform/curl/CurlInternet.h"
#include "platform/internet/InternetContract.h"
#include "support/TempFolder.h"

namespace {

struct CurlHarness {
    TempFolder root{"velmora-curl-ftp"};
    TempFolder logs{"velmora-curl-log"};
    FtpServerProcess server{root.str(), (logs.path() / "ftp.log").string(),
                            {"--order", "Tn_b.cab,Tn_dir.cab,Tn_a.cab"}};
    CurlInternet net{CurlTimeouts{2, 2, 2, 3}};

    std::string Unavailable() const { return {}; }
    int Port() const { return server.port(); }
    int ClosedPort() const { return UnusedLoopbackPort(); }
    std::filesystem::path Root() const { return root.path(); }
    std::vector<std::string> Commands() const { return server.Commands(); }
    static constexpr const char* kMissingFile = "does not exist";
    static constexpr const char* kClosedPort = "connect";
};

}  // namespace

using namespace internet_contract;
INSTANTIATE_TYPED_TEST_SUITE_P(Curl, InternetContract, ::testing::Types<CurlHarness>);

namespace {

TEST(CurlInternetListing, ListingThatNeverEndsStopsAtItsCapNotAtTheClock) {
    // With a minute to spare, the bound on bytes and lines must be what ends the answer.
    TempFolder root{"velmora-curl-ftp"};
    TempFolder logs{"velmora-curl-log"};
    root.Write("Tn_315_316.cab", "x");
    FtpServerProcess server(root.str(), (logs.path() / "ftp.log").string(), {"--endless-list"});
    CurlInternet curl(CurlTimeouts{2, 2, 2, 60});
    const InternetHandle internet = curl.Open("Velmora");
    const InternetHandle connection =
        curl.Connect(internet, "127.0.0.1", server.port(), "velmorauser", "QxmPl47Tzd", true);
    ASSERT_NE(connection, kNoHandle) << curl.LastError();
    FindRecord record;
    EXPECT_EQ(curl.FindFirst(connection, "/Tn*.cab", record), kNoHandle);
    EXPECT_EQ(curl.LastError(), "the listing was longer than 16777216 bytes or 200000 lines");
    curl.CloseHandle(internet);
    EXPECT_EQ(curl.OpenHandles(), 0u);
}

}  // namespace
