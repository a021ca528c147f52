#pragma once

// What every IInternet back-end does against the loopback FTP test server (tests/support/
// ftp_server.py), started with --order Tn_b.cab,Tn_dir.cab,Tn_a.cab: listings in the server's
// order, byte-exact downloads in the online update's 512-byte pieces, failures that leave the
// connection usable, and handles that close with what they were opened on. Each back-end's
// tests instantiate it with a harness of their own:
//   struct Harness {
//       Internet net;                               // the back-end
//       std::string Unavailable() const;            // why there is no server, or ""
//       int Port() const;                           // the server's
//       int ClosedPort() const;                     // a loopback port on which nothing listens
//       std::filesystem::path Root() const;         // the served folder
//       std::vector<std::string> Commands() const;  // what the server received, one a line
//       static constexpr const char* kMissingFile;  // in LastError after a file the server lacks
//       static constexpr const char* kClosedPort;   // in LastError after a refused connection
//   };
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/IInternet.h"

namespace internet_contract {

namespace fs = std::filesystem;

// Bytes whose pattern shows misplaced or repeated data.
inline std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + i / 509);
    return bytes;
}

template <class Harness>
class InternetContract : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = h.Unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
    }

    void Offer(const std::string& name, const std::string& bytes) const {
        fs::create_directories((h.Root() / name).parent_path());
        std::ofstream(h.Root() / name, std::ios::binary) << bytes;
    }

    InternetHandle Login(int port) {
        internet_ = h.net.Open("Velmora");
        EXPECT_NE(internet_, kNoHandle) << h.net.LastError();
        return h.net.Connect(internet_, "127.0.0.1", port, "velmorauser", "QxmPl47Tzd", true);
    }

    void Connect() {
        connection_ = Login(h.Port());
        ASSERT_NE(connection_, kNoHandle) << h.net.LastError();
    }

    std::vector<FindRecord> List(const std::string& mask) {
        std::vector<FindRecord> records;
        FindRecord record;
        const InternetHandle search = h.net.FindFirst(connection_, mask, record);
        if (search == kNoHandle) return records;
        do records.push_back(record);
        while (h.net.FindNext(search, record));
        h.net.CloseHandle(search);
        return records;
    }

    // The whole file in 512-byte pieces, as the online update reads it; counts the short ones.
    std::string Download(const std::string& name, int* shortReads = nullptr) {
        const InternetHandle file = h.net.OpenFile(connection_, name);
        EXPECT_NE(file, kNoHandle) << h.net.LastError();
        std::string received;
        if (file == kNoHandle) return received;
        char buffer[512];
        std::size_t n = 0;
        do {
            n = h.net.Read(file, buffer, sizeof buffer);
            if (n != sizeof buffer && shortReads) ++*shortReads;
            received.append(buffer, n);
        } while (n == sizeof buffer);
        h.net.CloseHandle(file);
        return received;
    }

    Harness h;
    InternetHandle internet_ = kNoHandle;
    InternetHandle connection_ = kNoHandle;
};

TYPED_TEST_SUITE_P(InternetContract);

TYPED_TEST_P(InternetContract, ListsNamesSizesAndFoldersInTheServersOrderMatchingCaseSensitively) {
    // A folder of this test's own keeps the other tests' files out of the listing.
    this->Offer("order/Tn_a.cab", Pattern(70000));
    this->Offer("order/Tn_b.cab", Pattern(300));
    fs::create_directories(this->h.Root() / "order/Tn_dir.cab");
    this->Offer("order/tn_lower.cab", "x");
    this->Offer("order/Tn_upper.CAB", "x");
    this->Offer("order/other.cab", "x");
    this->Offer("Tn_root.cab", "root file");
    this->Connect();
    EXPECT_EQ(this->h.net.GetCurrentDirectory(this->connection_), std::optional<std::string>("/"));

    const auto records = this->List("/order/Tn*.cab");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fileName, "Tn_b.cab");
    EXPECT_EQ(records[0].sizeLow, 300u);
    EXPECT_EQ(records[0].attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(records[1].fileName, "Tn_dir.cab");
    EXPECT_NE(records[1].attributes & kFileAttributeDirectory, 0u);
    EXPECT_EQ(records[2].fileName, "Tn_a.cab");
    EXPECT_EQ(records[2].sizeLow, 70000u);

    // Passive mode, and a bare LIST: the mask never reaches the server.
    bool passive = false;
    for (const auto& c : this->h.Commands()) {
        if (c == "PASV" || c == "EPSV") passive = true;
        if (c.rfind("LIST", 0) == 0) {
            EXPECT_EQ(c, "LIST");
        }
        EXPECT_NE(c.rfind("RETR", 0), 0u) << "a listing downloads nothing: " << c;
    }
    EXPECT_TRUE(passive);
    // Files are still named from the login directory after listing another folder.
    EXPECT_EQ(this->Download("Tn_root.cab"), "root file");
}

TYPED_TEST_P(InternetContract, NothingMatchingGivesNoHandleAndSaysWhy) {
    this->Offer("upd/Tn_315_316.cab", "abc");
    this->Connect();
    EXPECT_EQ(this->List("/upd/Tn*.cab").size(), 1u);
    FindRecord record;
    EXPECT_EQ(this->h.net.FindFirst(this->connection_, "/upd/Tn_9*.cab", record), kNoHandle);
    EXPECT_NE(this->h.net.LastError().find("/upd/Tn_9*.cab"), std::string::npos)
        << this->h.net.LastError();
    EXPECT_EQ(this->h.net.FindFirst(this->connection_, "/empty/*", record), kNoHandle);
    EXPECT_FALSE(this->h.net.LastError().empty()) << "no such folder";
}

TYPED_TEST_P(InternetContract, DownloadsByteExactInBinaryMode) {
    const struct {
        const char* name;
        std::string bytes;
    } rows[] = {
        {"Tn_1024.cab", Pattern(1024)},            // whole pieces only: the end is a 0-byte read
        {"Tn_1000.cab", Pattern(1000)},            // a short last piece
        {"Tn_big.cab", Pattern(300 * 1024 + 17)},  // more than a reader's buffer
        {"Tn_crlf.cab", "line\r\nline\nend\r"},    // text mode would change these bytes
    };
    for (const auto& row : rows) this->Offer(row.name, row.bytes);
    this->Connect();
    for (const auto& row : rows) {
        int shortReads = 0;
        const std::string received = this->Download(row.name, &shortReads);
        EXPECT_EQ(received == row.bytes, true) << row.name << ": " << received.size() << " bytes";
        EXPECT_EQ(shortReads, 1) << row.name << ": only the last piece is short";
    }
    std::string type;  // the transfer type in force at each RETR
    for (const auto& c : this->h.Commands()) {
        if (c.rfind("TYPE", 0) == 0) type = c;
        if (c.rfind("RETR", 0) == 0) {
            EXPECT_EQ(type, "TYPE I") << c;
        }
    }
}

// A caller that waits in slices before each read (to keep a window answering) gets the same
// bytes, and is told at once when a read would not wait: at the end, or on a closed handle.
TYPED_TEST_P(InternetContract, WaitingUntilReadableGivesTheSameBytesAndEndsAtTheEnd) {
    const std::string bytes = Pattern(300 * 1024 + 17);
    this->Offer("Tn_wait.cab", bytes);
    this->Connect();
    auto& net = this->h.net;
    const InternetHandle file = net.OpenFile(this->connection_, "Tn_wait.cab");
    ASSERT_NE(file, kNoHandle) << net.LastError();
    std::string received;
    char buffer[512];
    std::size_t n = 0;
    do {
        int slices = 0;
        while (!net.WaitReadable(file, sizeof buffer, std::chrono::milliseconds(20))) {
            ASSERT_LT(++slices, 500) << "no data for 10 s after " << received.size() << " bytes";
        }
        n = net.Read(file, buffer, sizeof buffer);
        received.append(buffer, n);
    } while (n == sizeof buffer);
    EXPECT_EQ(received == bytes, true) << received.size() << " bytes";
    EXPECT_TRUE(net.WaitReadable(file, sizeof buffer, std::chrono::milliseconds(0)));
    EXPECT_EQ(net.Read(file, buffer, sizeof buffer), 0u);
    net.CloseHandle(file);
    EXPECT_TRUE(net.WaitReadable(file, sizeof buffer, std::chrono::hours(1)));  // at once
}

TYPED_TEST_P(InternetContract, MissingFileGivesNoHandleAndTheConnectionStaysUsable) {
    this->Offer("Tn_ok.cab", "fine");
    this->Connect();
    EXPECT_EQ(this->h.net.OpenFile(this->connection_, "Tn_missing.cab"), kNoHandle);
    EXPECT_NE(this->h.net.LastError().find(TypeParam::kMissingFile), std::string::npos)
        << this->h.net.LastError();
    EXPECT_EQ(this->Download("Tn_ok.cab"), "fine");
}

TYPED_TEST_P(InternetContract, ClosingTheSessionMidTransferClosesEverythingOnItOnce) {
    this->Offer("Tn_big.cab", Pattern(1 << 20));
    this->Connect();
    auto& net = this->h.net;
    const InternetHandle file = net.OpenFile(this->connection_, "Tn_big.cab");
    ASSERT_NE(file, kNoHandle) << net.LastError();
    char buffer[512];
    EXPECT_EQ(net.Read(file, buffer, sizeof buffer), 512u);
    net.CloseHandle(this->internet_);
    EXPECT_EQ(net.OpenHandles(), 0u);
    EXPECT_EQ(net.Read(file, buffer, sizeof buffer), 0u);  // a closed handle reads nothing
    net.CloseHandle(this->connection_);                    // closed with the session: no-op
    EXPECT_EQ(net.LastError(), "invalid handle");
}

TYPED_TEST_P(InternetContract, ClosedPortGivesNoHandle) {
    EXPECT_EQ(this->Login(this->h.ClosedPort()), kNoHandle);
    EXPECT_NE(this->h.net.LastError().find(TypeParam::kClosedPort), std::string::npos)
        << this->h.net.LastError();
    this->h.net.CloseHandle(this->internet_);
    EXPECT_EQ(this->h.net.OpenHandles(), 0u);
}

REGISTER_TYPED_TEST_SUITE_P(InternetContract,
                            ListsNamesSizesAndFoldersInTheServersOrderMatchingCaseSensitively,
                            NothingMatchingGivesNoHandleAndSaysWhy, DownloadsByteExactInBinaryMode,
                            WaitingUntilReadableGivesTheSameBytesAndEndsAtTheEnd,
                            MissingFileGivesNoHandleAndTheConnectionStaysUsable,
                            ClosingTheSessionMidTransferClosesEverythingOnItOnce,
                            ClosedPortGivesNoHandle);

}  // namespace internet_contract
