// The naming rules of the update cabinets and the override of the update server.
#include <gtest/gtest.h>

#include "online/CabinetChoice.h"
#include "online/UpdateServer.h"

namespace {

TEST(CabinetChoiceTest, SearchMaskInTheCurrentDirectory) {
    EXPECT_EQ(SearchMask("/"), "/Tn*.cab");
    EXPECT_EQ(SearchMask("/upd"), "/upd/Tn*.cab");
    EXPECT_EQ(SearchMask("/upd/"), "/upd/Tn*.cab");
}

TEST(CabinetChoiceTest, ListingEntryReadsTheSizeAsSigned32Bits) {
    EXPECT_EQ(ListingEntry("Tn_315_316.cab", 1024), "Tn_315_316.cab@1024");
    EXPECT_EQ(ListingEntry("big.cab", 0x80000000u), "big.cab@-2147483648");
}

TEST(CabinetChoiceTest, ChoiceTable) {
    const std::vector<std::string> listed = {"Tn_314_315.cab@1", "Tn_315_316.cab@2",
                                             "Tn_316_317.cab@3"};
    struct Row {
        const char* label;
        std::vector<std::string> entries;
        const char* version;
        int index;
        bool offerReinstall;
    } rows[] = {
        {"from 3.1.5", listed, "3.1.5", 1, false},
        {"first of two matches", {"Tn_315_316.cab@1", "Tn-315-399.cab@2"}, "3.1.5", 0, false},
        {"at the last version", listed, "3.1.7", -1, true},
        {"newer than all", listed, "3.1.9", -1, false},
        {"four-character key", listed, "3.10.2", -1, false},
        {"only the last is asked about", {"Tn_316_317.cab@1", "Tn_318_319.cab@2"}, "3.1.7", -1, false},
        {"short entry", {"Tn_31"}, "3.1.5", -1, false},
        {"case matters", {"Tn_aBc_def.cab@1"}, "a.b.c", -1, false},
        {"no entries", {}, "3.1.5", -1, false},
    };
    for (const Row& row : rows) {
        const CabinetChoice choice = ChooseCabinet(row.entries, VersionKey(row.version));
        EXPECT_EQ(choice.index, row.index) << row.label;
        EXPECT_EQ(choice.offerReinstall, row.offerReinstall) << row.label;
    }
}

TEST(CabinetChoiceTest, CharactersCountAsTheUserSeesThem) {
    EXPECT_EQ(MidChars("Tnč315_316.cab", 4, 3), "315");
    EXPECT_EQ(MidChars("Tn_31", 4, 3), "31");
    EXPECT_EQ(MidChars("Tn", 4, 3), "");
}

TEST(CabinetChoiceTest, EntryNameAndSize) {
    EXPECT_EQ(EntryName("Tn_315_316.cab@1024"), "Tn_315_316.cab");
    EXPECT_EQ(EntrySizeText("Tn_315_316.cab@1024"), "1024");
    struct Row {
        const char* text;
        std::int64_t value;
    } rows[] = {{"1024", 1024}, {"  77abc", 77}, {"-5", -5}, {"", 0}, {"x1", 0},
                {"2147483647", 2147483647}};
    for (const Row& row : rows) EXPECT_EQ(LeadingNumber(row.text), row.value) << row.text;
}

TEST(UpdateServerTest, OverrideOfTheMakersServer) {
    const UpdateServer maker{"ftp.velmora.hr", 21};
    EXPECT_EQ(ResolveUpdateServer(nullptr), maker);
    EXPECT_EQ(ResolveUpdateServer(""), maker);
    EXPECT_EQ(ResolveUpdateServer("127.0.0.1:2121"), (UpdateServer{"127.0.0.1", 2121}));
    EXPECT_EQ(ResolveUpdateServer("localhost"), (UpdateServer{"localhost", 21}));
    EXPECT_EQ(ResolveUpdateServer("localhost:0"), maker);
    EXPECT_EQ(ResolveUpdateServer("localhost:99999"), maker);
    EXPECT_EQ(ResolveUpdateServer("localhost:21x"), maker);
    EXPECT_EQ(ResolveUpdateServer(":21"), maker);
}

}  // namespace
