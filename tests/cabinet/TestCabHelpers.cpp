// The pure pieces of the cabinet module: path helpers, folder creation levels, error texts,
// XML elements, name comparison, hostile names and the DOS date conversion.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "cabinet/CabDate.h"
#include "cabinet/CabErrors.h"
#include "cabinet/CabXml.h"
#include "cabinet/Callback.h"
#include "cabinet/NameCompare.h"
#include "cabinet/StoredName.h"
#include "common/Paths.h"
#include "support/TestEnvironment.h"

namespace {

TEST(CabHelpers, SplitPathAndAddBackslash) {
    struct Row {
        const char* label;
        const char* path;
        const char* folder;
        const char* name;
    };
    const Row rows[] = {
        {"nested", "data\\sub\\x.txt", "data\\sub\\", "x.txt"},
        {"top level", "x.txt", "", "x.txt"},
        {"trailing separator", "data\\", "data\\", ""},
        {"empty", "", "", ""},
    };
    for (const Row& r : rows) {
        std::string folder = "stale", name = "stale";
        Callback::SplitPath(r.path, folder, name);
        EXPECT_EQ(folder, r.folder) << r.label;
        EXPECT_EQ(name, r.name) << r.label;
    }
    EXPECT_EQ(Callback::AddBackslash(""), "\\");
    EXPECT_EQ(Callback::AddBackslash("D:\\Out"), "D:\\Out\\");
    EXPECT_EQ(Callback::AddBackslash("D:\\Out\\"), "D:\\Out\\");
}

// A fake folder maker over a set of existing folders, recording each call.
struct FakeFolders {
    std::map<std::string, int> fixed;  // path -> answer given regardless of the tree
    std::vector<std::string> existing;
    std::vector<std::string> calls;

    int operator()(const std::string& path) {
        calls.push_back(path);
        if (auto it = fixed.find(path); it != fixed.end()) return it->second;
        for (const auto& e : existing)
            if (e == path) return 75;
        const std::string parent = path.substr(0, path.rfind(kPathSeparator));
        const bool parentThere = parent.empty() || parent == path ||
                                 std::find(existing.begin(), existing.end(), parent) != existing.end();
        if (!parentThere) return 76;
        existing.push_back(path);
        return 0;
    }
};

TEST(CabHelpers, CreateFolderPathWalksUpThenCreatesDownward) {
    const std::string s(1, kPathSeparator);
    FakeFolders fake;
    fake.existing = {s + "x"};  // only the top level exists
    const std::string prog = s + "x" + s + "Prog";
    EXPECT_TRUE(Callback::CreateFolderPath(prog + s + "A" + s + "B" + s, std::ref(fake)));
    const std::vector<std::string> expected = {prog + s + "A" + s + "B", prog + s + "A", prog,
                                               prog + s + "A", prog + s + "A" + s + "B"};
    EXPECT_EQ(fake.calls, expected);
}

TEST(CabHelpers, CreateFolderPathFailures) {
    const std::string s(1, kPathSeparator);
    EXPECT_FALSE(Callback::CreateFolderPath("", [](const std::string&) { return 0; }))
        << "empty folder";
    EXPECT_TRUE(Callback::CreateFolderPath("anything", [](const std::string&) { return 75; }))
        << "exists already";
    EXPECT_FALSE(Callback::CreateFolderPath("a" + s + "b", [](const std::string&) { return 82; }))
        << "other failure";
    EXPECT_FALSE(Callback::CreateFolderPath("a" + s + "b", [](const std::string&) { return 76; }))
        << "even the first level is missing";
    FakeFolders fake;
    fake.existing = {"a"};
    fake.fixed[std::string("a") + s + "b"] = 5;
    EXPECT_FALSE(Callback::CreateFolderPath("a" + s + "b" + s + "c", std::ref(fake)))
        << "creating a level on the way down fails";
}

TEST(CabHelpers, ErrorTexts) {
    EXPECT_EQ(CabErrorText(kCabNameNotSet),
              "You must set the CabName property before taking any action on the CabFile object.");
    EXPECT_EQ(CabErrorText(5), "Unknown error.");
    const std::pair<int, const char*> rows[] = {
        {2, "The system cannot find the file specified."},
        {13, "Invalid data."},
        {23, "Data error (cyclic redundancy check)."},
        {33, "The process cannot access the file because another process has locked a portion of "
             "the file."},
        {112, "There is not enough space on the disk."},
        {123, "The filename, directory name, or volume label syntax is incorrect."},
        {0, "Unknown error."},
        {6, "Unknown error."},
        {124, "Unknown error."},
        {-2147219548, "Unknown error."},
    };
    for (const auto& [code, text] : rows) EXPECT_EQ(WinErrorText(code), text) << code;
}

TEST(CabHelpers, XmlElementCopiesTextUnescaped) {
    EXPECT_EQ(XmlElement("a&b'c", "NAME"), "<NAME>a&b'c</NAME>");
    EXPECT_EQ(XmlElement("", "PATH"), "<PATH></PATH>");
    EXPECT_EQ(XmlElement("x", "CABFILE", "CABFILENAME", "it's"),
              "<CABFILE CABFILENAME = 'it's'>x</CABFILE>");
}

TEST(CabHelpers, NamesCompareWithoutCase) {
    struct Row {
        const char* a;
        const char* b;
        bool equal;
    };
    const Row rows[] = {
        {"DATA\\X.TXT", "data\\x.txt", true},   {"ČĆŽŠĐ.txt", "čćžšđ.TXT", true},
        {"ÀÖ", "àö", true},                     {"Ÿ", "ÿ", true},
        {"ЖИР", "жир", true},                   {"x.txt", "data\\x.txt", false},
        {"c.txt", "č.txt", false},              {"a", "a ", false},
        {"\xC4", "\xC4", true},                 {"\xC4", "\xE4", false},
    };
    for (const Row& r : rows) EXPECT_EQ(EqualsIgnoreCase(r.a, r.b), r.equal) << r.a << " | " << r.b;
}

TEST(CabHelpers, NamesThatLeaveTheTargetFolder) {
    const std::pair<const char*, bool> rows[] = {
        {"a.txt", true},           {"sub\\a.txt", true},    {"..a\\b..\\c", true},
        {"..\\a.txt", false},      {"sub\\..\\..\\a", false}, {"sub\\..", false},
        {"\\a.txt", false},        {"/a.txt", false},       {"C:\\a.txt", false},
        {"C:a.txt", false},        {"sub/../../a", false},  {"", false},
        {"sub\\", false},
    };
    for (const auto& [name, inside] : rows) EXPECT_EQ(stored_name::StaysInside(name), inside) << name;
    EXPECT_EQ(stored_name::ToNative("a\\b\\c"), "a" + std::string(1, kPathSeparator) + "b" +
                                                    std::string(1, kPathSeparator) + "c");
}

TEST(CabHelpers, StoredNamesByTheirFlag) {
    EXPECT_EQ(stored_name::ToText("\xC8\xE6\x9E.txt", 0x20), "Čćž.txt");
    EXPECT_EQ(stored_name::ToText("Čćž.txt", 0x20 | 0x80), "Čćž.txt");
}

std::uint16_t DosDate(int y, int m, int d) { return static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d); }
std::uint16_t DosTime(int h, int mi, int s) { return static_cast<std::uint16_t>((h << 11) | (mi << 5) | (s / 2)); }

TEST(CabDate, DosDateAndTimeWithoutTimeZone) {
    struct Row {
        const char* label;
        std::uint16_t date, time;
        CabCalendar expected;
        const char* text;
    };
    const Row rows[] = {
        {"afternoon", DosDate(2024, 2, 29), DosTime(14, 30, 0), {2024, 2, 29, 14, 30, 0},
         "29.2.2024. 14:30:00"},
        {"midnight leaves the time out", DosDate(2001, 12, 31), 0, {2001, 12, 31, 0, 0, 0},
         "31.12.2001."},
        {"odd seconds cannot be stored", DosDate(1999, 1, 2), DosTime(9, 5, 59),
         {1999, 1, 2, 9, 5, 58}, "2.1.1999. 9:05:58"},
        {"last DOS year", DosDate(2107, 12, 31), DosTime(23, 59, 58), {2107, 12, 31, 23, 59, 58},
         "31.12.2107. 23:59:58"},
        {"31 February", DosDate(2020, 2, 31), DosTime(10, 0, 0), {1601, 1, 1, 0, 0, 0}, "1.1.1601."},
        {"month 0", static_cast<std::uint16_t>(DosDate(2020, 1, 1) & ~0x1E0), 0, {1601, 1, 1, 0, 0, 0}, "1.1.1601."},
        {"hour 24", DosDate(2020, 1, 1), DosTime(24, 0, 0), {1601, 1, 1, 0, 0, 0}, "1.1.1601."},
    };
    for (const Row& r : rows) {
        const CabCalendar c = DosToCalendar(r.date, r.time);
        EXPECT_EQ(c, r.expected) << r.label;
        EXPECT_EQ(DateText(c, std::locale::classic()), r.text) << r.label;
        EXPECT_EQ(DateToCalendar(CalendarToDate(c)), c) << r.label << " round trip";
    }
}

TEST(CabDate, AutomationDateValues) {
    EXPECT_DOUBLE_EQ(CalendarToDate({1899, 12, 30, 0, 0, 0}).value, 0.0);
    EXPECT_DOUBLE_EQ(CalendarToDate({1900, 1, 1, 18, 0, 0}).value, 2.75);
    EXPECT_DOUBLE_EQ(CalendarToDate({1899, 12, 29, 6, 0, 0}).value, -1.25);
    EXPECT_NEAR(CalendarToDate({2024, 2, 29, 14, 30, 0}).value, 45351 + 14.5 / 24, 1e-9);
}

TEST(CabDate, UserLocaleFromTheEnvironment) {
    SetEnv("LC_ALL", "C");
    EXPECT_EQ(UserDateLocale().name(), "C");
    SetEnv("LC_ALL", "xx_NOWHERE.UTF-8");
    EXPECT_EQ(UserDateLocale().name(), "C") << "a locale the system lacks falls back";
    UnsetEnv("LC_ALL");
    SetEnv("LC_TIME", "POSIX");
    EXPECT_EQ(UserDateLocale().name(), "C");
    SetEnv("LC_ALL", "C");
}

}  // namespace
