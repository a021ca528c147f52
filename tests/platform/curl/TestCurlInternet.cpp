// The libcurl internet functions against the loopback FTP server: listings, the pull reader's
// 512-byte pieces over a transfer that has to pause, and handle lifetimes.
#include <gtest/gtest.h>

#include <filesystem>

#include "online/FtpServerProcess.h"
#include "platform/curl/CurlInternet.h"
#include "support/TempFolder.h"

namespace {

class CurlInternetTest : public ::testing::Test {
protected:
    CurlInternetTest() : curl_(CurlTimeouts{2, 2, 2, 3}) {}

    void Start(std::vector<std::string> options = {}) {
        server_ = std::make_unique<FtpServerProcess>(root_.str(), (logs_.path() / "ftp.log").string(),
                                                     options);
        internet_ = curl_.Open("Velmora");
        connection_ = curl_.Connect(internet_, "127.0.0.1", server_->port(), "velmorauser",
                                    "QxmPl47Tzd", true);
        ASSERT_NE(connection_, kNoHandle) << curl_.LastError();
    }

    std::vector<FindRecord> List(const std::string& mask) {
        std::vector<FindRecord> records;
        FindRecord record;
        const InternetHandle search = curl_.FindFirst(connection_, mask, record);
        if (search == kNoHandle) return records;
        do records.push_back(record);
        while (curl_.FindNext(search, record));
        curl_.CloseHandle(search);
        return records;
    }

    TempFolder root_{"velmora-curl-ftp"};
    TempFolder logs_{"velmora-curl-log"};
    CurlInternet curl_;
    std::unique_ptr<FtpServerProcess> server_;
    InternetHandle internet_ = kNoHandle;
    InternetHandle connection_ = kNoHandle;
};

TEST_F(CurlInternetTest, ListsNamesSizesAndFoldersInTheServersOrder) {
    root_.Write("Tn_b.cab", std::string(300, 'b'));
    root_.Write("Tn_a.cab", std::string(70000, 'a'));
    std::filesystem::create_directories(root_.path() / "Tn_dir.cab");
    root_.Write("other.cab", "x");
    Start({"--order", "Tn_b.cab,Tn_dir.cab,Tn_a.cab"});
    EXPECT_EQ(curl_.GetCurrentDirectory(connection_), std::optional<std::string>("/"));

    const auto records = List("/Tn*.cab");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fileName, "Tn_b.cab");
    EXPECT_EQ(records[0].sizeLow, 300u);
    EXPECT_EQ(records[0].attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(records[1].fileName, "Tn_dir.cab");
    EXPECT_NE(records[1].attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(records[2].fileName, "Tn_a.cab");
    EXPECT_EQ(records[2].sizeLow, 70000u);
    // Listing downloads nothing.
    for (const auto& c : server_->Commands()) EXPECT_NE(c.rfind("RETR", 0), 0u) << c;
}

TEST_F(CurlInternetTest, ListsAFolderBelowTheLoginDirectory) {
    root_.Write("upd/Tn_315_316.cab", "abc");
    Start();
    const auto records = List("/upd/Tn*.cab");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fileName, "Tn_315_316.cab");
    EXPECT_TRUE(List("/upd/Tn_9*.cab").empty());
}

TEST_F(CurlInternetTest, ReadsA300KiBFileIn512BytePiecesThroughPauses) {
    std::string bytes(300 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + i / 509);
    root_.Write("Tn_big.cab", bytes);
    Start();
    const InternetHandle file = curl_.OpenFile(connection_, "Tn_big.cab");
    ASSERT_NE(file, kNoHandle) << curl_.LastError();
    std::string received;
    char buffer[512];
    std::size_t n = 0;
    int shortReads = 0;
    do {
        n = curl_.Read(file, buffer, sizeof buffer);
        if (n != sizeof buffer) ++shortReads;
        received.append(buffer, n);
    } while (n == sizeof buffer);
    EXPECT_EQ(shortReads, 1);  // only the last piece is short
    EXPECT_EQ(received, bytes);
    EXPECT_EQ(curl_.Read(file, buffer, sizeof buffer), 0u);
    curl_.CloseHandle(file);
    curl_.CloseHandle(connection_);
    curl_.CloseHandle(internet_);
    EXPECT_EQ(curl_.OpenHandles(), 0u);
}

TEST_F(CurlInternetTest, ClosingTheSessionMidTransferClosesEverythingOnIt) {
    root_.Write("Tn_big.cab", std::string(1 << 20, 'z'));
    Start();
    const InternetHandle file = curl_.OpenFile(connection_, "Tn_big.cab");
    ASSERT_NE(file, kNoHandle);
    char buffer[512];
    EXPECT_EQ(curl_.Read(file, buffer, sizeof buffer), 512u);
    curl_.CloseHandle(internet_);
    EXPECT_EQ(curl_.OpenHandles(), 0u);
    EXPECT_EQ(curl_.Read(file, buffer, sizeof buffer), 0u);  // a closed handle reads nothing
}

TEST_F(CurlInternetTest, MissingFileGivesNoHandleAndTheConnectionStaysUsable) {
    root_.Write("Tn_ok.cab", "fine");
    Start();
    EXPECT_EQ(curl_.OpenFile(connection_, "Tn_missing.cab"), kNoHandle);
    EXPECT_FALSE(curl_.LastError().empty());
    const InternetHandle file = curl_.OpenFile(connection_, "Tn_ok.cab");
    ASSERT_NE(file, kNoHandle) << curl_.LastError();
    char buffer[512];
    EXPECT_EQ(curl_.Read(file, buffer, sizeof buffer), 4u);
    curl_.CloseHandle(file);
}

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
