// The cabinet's own records as both cabinet iterators read them: what a fixture's header, file
// records and data blocks say, and what a damaged one refuses.
#include "platform/cabformat/CabinetDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

struct Case {
    const char* fixture;
    bool readable;
    std::size_t files;
    const char* firstName;
    bool badChecksum;  // in the first folder
};

const Case kCases[] = {
    {"mszip_three_files.cab", true, 3, "first.txt", false},
    {"reserve_and_next_cabinet.cab", true, 3, "first.txt", false},
    {"empty_no_files.cab", true, 0, nullptr, false},
    {"damaged_mszip_bad_checksum.cab", true, 3, "first.txt", true},
    {"reserve_and_next_cabinet_bad_checksum.cab", true, 3, "first.txt", true},
    // A damaged stream whose checksums match, and blocks cut off: neither is a checksum fault.
    {"damaged_mszip_bad_deflate.cab", true, 3, "first.txt", false},
    {"truncated_mszip_in_third_block.cab", true, 3, "first.txt", false},
    {"bad_signature.cab", false, 0, nullptr, false},
    {"truncated_header.cab", false, 0, nullptr, false},
};

TEST(CabinetDirectory, ReadsTheRecordsAndChecksumsOfEachFixture) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.fixture);
        std::ifstream in(std::string(TEST_DATA_DIR) + "/cabinet/" + c.fixture, std::ios::binary);
        ASSERT_TRUE(in);
        const CabinetDirectory::ReadAt read = CabinetDirectory::StreamReader(in);
        CabinetDirectory directory;
        ASSERT_EQ(directory.Read(read), c.readable);
        if (!c.readable) continue;
        ASSERT_EQ(directory.Files().size(), c.files);
        if (c.firstName != nullptr) {
            EXPECT_EQ(directory.Files()[0].name, c.firstName);
        }
        EXPECT_EQ(directory.FolderHasBadChecksum(read, 0), c.badChecksum);
        EXPECT_FALSE(directory.FolderHasBadChecksum(read, 1)) << "a folder the cabinet lacks";
    }
}

// A name is handed over as the bytes stored, whatever their code page; the attribute bit says
// which one they are in.
TEST(CabinetDirectory, NamesComeAsTheStoredBytesBesideTheirUtf8Bit) {
    std::ifstream in(std::string(TEST_DATA_DIR) + "/cabinet/names_cp1250_and_utf8.cab",
                     std::ios::binary);
    CabinetDirectory directory;
    ASSERT_TRUE(directory.Read(CabinetDirectory::StreamReader(in)));
    ASSERT_EQ(directory.Files().size(), 2u);
    EXPECT_EQ(directory.Files()[0].name, "\xC8\xE6\x9E\x9A\xF0\\\x8A\xF0.txt");
    EXPECT_EQ(directory.Files()[0].attribs & 0x80, 0);
    EXPECT_EQ(directory.Files()[1].name, "\u010C\u0107\u017E\u0161\u0111\\\u017D\u010D.txt");
    EXPECT_EQ(directory.Files()[1].attribs & 0x80, 0x80);
}

}  // namespace
