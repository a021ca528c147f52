// WinINet against the loopback FTP test server, run under Wine (or on Windows). The server runs
// beside this program (tests/support/with-ftp-server), one configuration per ctest entry; each
// test suite is written for one configuration:
//   Served        a plain server, listing in a fixed order
//   RefusedLogin  --refuse-login
//   Silent        --silent
//   ShortTransfer --cut-after 3000 and --truncate-after 3000
//   Stalled       --stall-after 3000
// Without the server's environment the tests skip, saying why.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/wininet/WinInetInternet.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUser = "velmorauser";
constexpr const char* kPassword = "QxmPl47Tzd";
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

// Bytes whose pattern shows misplaced or repeated data.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + i / 509);
    return bytes;
}

class WinInetTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("VELMORA_TEST_FTP_PORT").empty()) {
            GTEST_SKIP() << "needs the FTP test server: run through tests/support/with-ftp-server";
        }
        port_ = std::atoi(Env("VELMORA_TEST_FTP_PORT").c_str());
        root_ = Env("VELMORA_TEST_FTP_ROOT");
    }

    void Offer(const std::string& name, const std::string& bytes) const {
        fs::create_directories((root_ / name).parent_path());
        std::ofstream(root_ / name, std::ios::binary) << bytes;
    }

    InternetHandle Login(int port) {
        internet_ = net_.Open("Velmora");
        EXPECT_NE(internet_, kNoHandle) << net_.LastError();
        return net_.Connect(internet_, "127.0.0.1", port, kUser, kPassword, true);
    }

    void Connect() {
        connection_ = Login(port_);
        ASSERT_NE(connection_, kNoHandle) << net_.LastError();
    }

    std::vector<FindRecord> List(const std::string& mask) {
        std::vector<FindRecord> records;
        FindRecord record;
        const InternetHandle search = net_.FindFirst(connection_, mask, record);
        if (search == kNoHandle) return records;
        do records.push_back(record);
        while (net_.FindNext(search, record));
        net_.CloseHandle(search);
        return records;
    }

    // The whole file in 512-byte pieces, as the online update reads it; counts the short ones.
    std::string Download(const std::string& name, int* shortReads = nullptr) {
        const InternetHandle file = net_.OpenFile(connection_, name);
        EXPECT_NE(file, kNoHandle) << net_.LastError();
        std::string received;
        if (file == kNoHandle) return received;
        char buffer[512];
        std::size_t n = 0;
        do {
            n = net_.Read(file, buffer, sizeof buffer);
            if (n != sizeof buffer && shortReads) ++*shortReads;
            received.append(buffer, n);
        } while (n == sizeof buffer);
        net_.CloseHandle(file);
        return received;
    }

    // The commands the server received, one per element.
    static std::vector<std::string> Commands() {
        std::ifstream log(fs::path(Env("VELMORA_TEST_FTP_LOG")));
        std::vector<std::string> lines;
        for (std::string line; std::getline(log, line);) lines.push_back(line);
        return lines;
    }

    WinInetInternet net_{TimeoutsForThisTest()};
    int port_ = 0;
    fs::path root_;
    InternetHandle internet_ = kNoHandle;
    InternetHandle connection_ = kNoHandle;
};

using Served = WinInetTest;
using RefusedLogin = WinInetTest;
using Silent = WinInetTest;
using ShortTransfer = WinInetTest;
using Stalled = WinInetTest;

TEST_F(Served, ListsNamesSizesAndFoldersInTheServersOrderMatchingCaseSensitively) {
    // The server lists Tn_b.cab, Tn_dir.cab, Tn_a.cab first, in that order (--order). A folder
    // of this test's own keeps the other tests' files out of the listing.
    Offer("order/Tn_a.cab", Pattern(1024));
    Offer("order/Tn_b.cab", Pattern(1000));
    fs::create_directories(root_ / "order/Tn_dir.cab");
    Offer("order/tn_lower.cab", "x");  // Wine's own matching would take these two
    Offer("order/Tn_upper.CAB", "x");
    Offer("order/other.cab", "x");
    Offer("Tn_root.cab", "root file");
    Connect();
    EXPECT_EQ(net_.GetCurrentDirectory(connection_), std::optional<std::string>("/"));

    const auto records = List("/order/Tn*.cab");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fileName, "Tn_b.cab");
    EXPECT_EQ(records[0].sizeLow, 1000u);
    EXPECT_EQ(records[0].attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(records[1].fileName, "Tn_dir.cab");
    EXPECT_NE(records[1].attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(records[2].fileName, "Tn_a.cab");
    EXPECT_EQ(records[2].sizeLow, 1024u);

    // Passive mode, and a bare LIST: the mask never reaches the server.
    bool passive = false;
    for (const auto& c : Commands()) {
        if (c == "PASV" || c == "EPSV") passive = true;
        if (c.rfind("LIST", 0) == 0) {
            EXPECT_EQ(c, "LIST");
        }
        EXPECT_NE(c.rfind("RETR", 0), 0u) << "a listing downloads nothing: " << c;
    }
    EXPECT_TRUE(passive);
    // Files are still named from the login directory after listing another folder.
    EXPECT_EQ(Download("Tn_root.cab"), "root file");
}

TEST_F(Served, NothingMatchingGivesNoHandleAndSaysWhy) {
    Offer("Tn_a.cab", "x");
    Connect();
    FindRecord record;
    EXPECT_EQ(net_.FindFirst(connection_, "/Tn_9*.cab", record), kNoHandle);
    EXPECT_NE(net_.LastError().find("/Tn_9*.cab"), std::string::npos) << net_.LastError();
    EXPECT_EQ(net_.FindFirst(connection_, "/empty/*", record), kNoHandle);  // no such folder
    EXPECT_FALSE(net_.LastError().empty());
}

TEST_F(Served, DownloadsByteExactInBinaryMode) {
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"Tn_1024.cab", Pattern(1024)},           // whole pieces only: the end is a 0-byte read
        {"Tn_1000.cab", Pattern(1000)},           // a short last piece
        {"Tn_big.cab", Pattern(300 * 1024 + 17)},  // more than the reader's buffer
        {"Tn_crlf.cab", "line\r\nline\nend\r"},    // text mode would change these bytes
    };
    for (const auto& row : rows) Offer(row.name, row.bytes);
    Connect();
    for (const auto& row : rows) {
        int shortReads = 0;
        const std::string received = Download(row.name, &shortReads);
        EXPECT_EQ(received == row.bytes, true) << row.name << ": " << received.size() << " bytes";
        EXPECT_EQ(shortReads, 1) << row.name << ": only the last piece is short";
    }
    std::string type;  // the transfer type in force at each RETR
    for (const auto& c : Commands()) {
        if (c.rfind("TYPE", 0) == 0) type = c;
        if (c.rfind("RETR", 0) == 0) {
            EXPECT_EQ(type, "TYPE I") << c;
        }
    }
}

TEST_F(Served, MissingFileGivesNoHandleAndTheConnectionStaysUsable) {
    Offer("Tn_ok.cab", "fine");
    Connect();
    EXPECT_EQ(net_.OpenFile(connection_, "Tn_missing.cab"), kNoHandle);
    EXPECT_NE(net_.LastError().find("12003"), std::string::npos) << net_.LastError();
    EXPECT_EQ(Download("Tn_ok.cab"), "fine");
}

TEST_F(Served, ClosingTheSessionMidTransferClosesEverythingOnItOnce) {
    Offer("Tn_big.cab", Pattern(1 << 20));
    Connect();
    const InternetHandle file = net_.OpenFile(connection_, "Tn_big.cab");
    ASSERT_NE(file, kNoHandle) << net_.LastError();
    char buffer[512];
    EXPECT_EQ(net_.Read(file, buffer, sizeof buffer), 512u);
    net_.CloseHandle(internet_);
    EXPECT_EQ(net_.OpenHandles(), 0u);
    EXPECT_EQ(net_.Read(file, buffer, sizeof buffer), 0u);  // a closed handle reads nothing
    net_.CloseHandle(connection_);                          // closed with the session: no-op
    EXPECT_EQ(net_.LastError(), "invalid handle");
}

TEST_F(Served, ClosedPortGivesNoHandle) {
    const int closed = std::atoi(Env("VELMORA_TEST_FTP_CLOSED_PORT").c_str());
    EXPECT_EQ(Login(closed), kNoHandle);
    EXPECT_NE(net_.LastError().find("12029"), std::string::npos) << net_.LastError();
    net_.CloseHandle(internet_);
    EXPECT_EQ(net_.OpenHandles(), 0u);
}

TEST_F(RefusedLogin, GivesNoHandleAndNamesTheRefusal) {
    EXPECT_EQ(Login(port_), kNoHandle);
    EXPECT_NE(net_.LastError().find("12015"), std::string::npos) << net_.LastError();
    EXPECT_EQ(net_.OpenHandles(), 1u);  // the session only
    EXPECT_EQ(Commands().at(0), "USER velmorauser");
}

TEST_F(Silent, ConnectEndsInAFailureInsteadOfWaitingForEver) {
    EXPECT_EQ(Login(port_), kNoHandle);
    EXPECT_FALSE(net_.LastError().empty());
    net_.CloseHandle(internet_);
    EXPECT_EQ(net_.OpenHandles(), 0u);
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
    EXPECT_NE(net_.LastError().find("no data"), std::string::npos) << net_.LastError();
    net_.CloseHandle(internet_);
    EXPECT_EQ(net_.OpenHandles(), 0u);
}

}  // namespace
