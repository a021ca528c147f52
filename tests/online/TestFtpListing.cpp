// Reading LIST answers of Unix and Windows FTP servers, and the mask.
#include <gtest/gtest.h>

#include "platform/curl/FtpListing.h"

namespace {

TEST(FtpListingTest, ReadsUnixAndWindowsLinesInTheirOrder) {
    const std::string listing =
        "total 12\r\n"
        "-rw-r--r--   1 root     root         1000 Dec 08 14:11 Tn_315_316.cab\r\n"
        "drwxr-xr-x   2 root     root         4096 Dec 08 14:11 Tn_old.cab\r\n"
        "-rw-r--r--   1 ftp       4294967808 Jan  1  2025 big file.cab\r\n"
        "lrwxrwxrwx   1 root     root           12 Mar 3 09:00 Tn_link.cab -> gone.bin\r\n"
        "12-08-26  02:00PM       <DIR>          Folder Name\r\n"
        "12-08-26  02:01PM                 1024 Tn_314_315.cab\r\n"
        "\r\n"
        "garbage line\n";
    struct Expected {
        const char* name;
        std::uint32_t size;
        bool folder;
    } expected[] = {
        {"Tn_315_316.cab", 1000, false}, {"Tn_old.cab", 4096, true},
        {"big file.cab", 512, false},  // 4 GiB + 512: the low 32 bits
        {"Tn_link.cab", 12, false},      {"Folder Name", 0, true},
        {"Tn_314_315.cab", 1024, false},
    };
    const auto records = ParseFtpListing(listing);
    ASSERT_EQ(records.size(), std::size(expected));
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].fileName, expected[i].name);
        EXPECT_EQ(records[i].sizeLow, expected[i].size) << expected[i].name;
        EXPECT_EQ((records[i].attributes & kFileAttributeDirectory) != 0, expected[i].folder)
            << expected[i].name;
    }
}

TEST(FtpListingTest, MaskTable) {
    struct Row {
        const char* name;
        bool matches;
    } rows[] = {
        {"Tn_315_316.cab", true}, {"Tn.cab", true},          {"Tn*.cab", true},
        {"tn_315_316.cab", false}, {"Tn_315_316.CAB", false}, {"Tn_315_316.cab.bak", false},
        {"xTn_315.cab", false},    {"Tn.cab.cab", true},      {"Tn", false},
        // A "*" in the name where the mask has its "*" (found by fuzzing: it was taken as a
        // literal there and the rest of the mask no longer matched).
        {"Tn*x.cab", true},        {"Tn**.cab", true},
    };
    for (const Row& row : rows) EXPECT_EQ(MatchesFtpPattern("Tn*.cab", row.name), row.matches) << row.name;
    EXPECT_TRUE(MatchesFtpPattern("a?c", "abc"));
    EXPECT_FALSE(MatchesFtpPattern("a?c", "ac"));
    EXPECT_TRUE(MatchesFtpPattern("*", ""));
    EXPECT_TRUE(MatchesFtpPattern("*", "*a"));
}

}  // namespace
