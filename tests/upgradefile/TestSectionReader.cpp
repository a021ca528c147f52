#include <gtest/gtest.h>

#include "support/ScriptedView.h"
#include "support/TempFolder.h"
#include "upgradefile/SectionReader.h"

namespace {

using namespace std::string_literals;

const std::string kMessage = "Neispravna konfiguracijska datoteka ''Tarvik_Upg.upg";

struct Case {
    const char* label;
    std::string file;     // bytes of Tarvik_Upg.Upg
    std::string header;   // the wanted header
    std::string expected; // the section text, or "Err"
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }
};

class SectionReaderTable : public ::testing::TestWithParam<Case> {};

TEST_P(SectionReaderTable, ReadsAsTheFileSays) {
    const Case& c = GetParam();
    TempFolder folder;
    folder.Write("Tarvik_Upg.Upg", c.file);
    ScriptedView view;
    const std::string text = ReadSection(view, folder.str(), c.header);
    EXPECT_EQ(text, c.expected);
    if (c.expected == "Err") {
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, kMessage);
        EXPECT_EQ(view.messages[0].icon, MsgIcon::Error);
        EXPECT_EQ(view.messages[0].title, "Velmora dizanje verzije.");
    } else {
        EXPECT_TRUE(view.messages.empty());
    }
}

const Case kCases[] = {
    {"plain label", "[Verzija]\r\n3.0.12 / 3.0.13\r\n*\r\n", "[Verzija]", "3.0.12 / 3.0.13\r\n"},
    {"header with trailing blank is no header", "[Verzija] \r\nx\r\n*\r\n", "[Verzija]", "Err"},
    {"header in lower case is no header", "[verzija]\r\nx\r\n*\r\n", "[Verzija]", "Err"},
    {"header with leading blank is no header", " [Verzija]\r\nx\r\n*\r\n", "[Verzija]", "Err"},
    {"only the header line", "[Verzija]\r\n", "[Verzija]", "Err"},
    {"header on the last line without line break", "[Verzija]", "[Verzija]", "Err"},
    {"empty body", "[Verzija]\r\n*\r\n", "[Verzija]", ""},
    {"empty body line stays", "[Akcija]\r\nx\r\n\r\ny\r\n*\r\n", "[Akcija]", "x\r\n\r\ny\r\n"},
    {"first of two sections wins", "[Verzija]\r\na\r\n*\r\n[Verzija]\r\nb\r\n*\r\n", "[Verzija]",
     "a\r\n"},
    {"free text around sections",
     "uvod\r\n[Akcija]\r\nSELECT 1\r\n*\r\nizmedju\r\n[Verzija]\r\nv\r\n*\r\nkraj\r\n", "[Verzija]",
     "v\r\n"},
    {"a body of Err is not the failure", "[Verzija]\r\nErr\r\n*\r\n", "[Verzija]", "Err\r\n"},
    {"asterisk with a blank is a body line", "[Verzija]\r\n* \r\n*\r\n", "[Verzija]", "* \r\n"},
    {"no terminator", "[Akcija]\r\nSELECT 1\r\n", "[Akcija]", "Err"},
    {"terminator without final line break", "[Verzija]\r\nx\r\n*", "[Verzija]", "x\r\n"},
    {"empty file", "", "[Verzija]", "Err"},
    {"header missing", "[Akcija]\r\n*\r\n", "[Verzija]", "Err"},
    {"bare LF ends a line too", "[Verzija]\nx\ny\n*\n", "[Verzija]", "x\r\ny\r\n"},
    {"lone CR stays in the text", "[Verzija]\r\na\rb\r\n*\r\n", "[Verzija]", "a\rb\r\n"},
    {"sections in any order", "[Akcija]\r\nA\r\n*\r\n[Verzija]\r\nV\r\n*\r\n", "[Akcija]",
     "A\r\n"},
    {"Windows-1250 letters become UTF-8", "[Akcija]\r\n\x8A\x9A \xC8\xE8 \xC6\xE6 \xD0\xF0 \x8E\x9E\r\n*\r\n",
     "[Akcija]", "Šš Čč Ćć Đđ Žž\r\n"},
    // A NUL refuses the whole section: a driver would cut the statement at it.
    {"NUL inside a body line", "[Akcija]\r\nDELETE FROM Artikli\0 WHERE Sifra = 5\r\n-GO-\r\n*\r\n"s,
     "[Akcija]", "Err"},
    {"NUL alone on a line", "[Akcija]\r\nA\r\n\0\r\n*\r\n"s, "[Akcija]", "Err"},
    {"NUL after the terminator star", "[Akcija]\r\nA\r\n*\0\r\n*\r\n"s, "[Akcija]", "Err"},
    {"NUL in another section does not matter",
     "[Verzija]\r\nv\r\n*\r\n[Akcija]\r\nA\0\r\n*\r\n"s, "[Verzija]", "v\r\n"},
    {"NUL in free text does not matter", "uvod\0\r\n[Verzija]\r\nv\r\n*\r\n"s,
     "[Verzija]", "v\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Files, SectionReaderTable, ::testing::ValuesIn(kCases),
                         [](const auto& test) {
                             std::string name;
                             for (const char* p = test.param.label; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(SectionReader, MissingFileShowsTheMessage) {
    TempFolder folder;
    ScriptedView view;
    EXPECT_EQ(ReadSection(view, folder.str(), "[Verzija]"), "Err");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, kMessage);
}

TEST(SectionReader, SaysWhyASectionCannotBeRead) {
    TempFolder folder;
    EXPECT_EQ(SectionFault(folder.str(), "[Akcija]"), "the file cannot be opened or read");
    folder.Write("Tarvik_Upg.Upg", "[Verzija]\r\nv\r\n*\r\n[Akcija]\r\nA\r\nB\0C\r\n*\r\n"s);
    EXPECT_EQ(SectionFault(folder.str(), "[Akcija]"), "a NUL byte in line 6 (in [Akcija])");
    EXPECT_EQ(SectionFault(folder.str(), "[Verzija]"), "none");
    EXPECT_EQ(SectionFault(folder.str(), "[Drugo]"), "no line [Drugo]");
}

TEST(SectionReader, ReadsTheFileAfreshOnEachCall) {
    TempFolder folder;
    ScriptedView view;
    folder.Write("Tarvik_Upg.Upg", "[Verzija]\r\nold\r\n*\r\n");
    EXPECT_EQ(ReadSection(view, folder.str(), "[Verzija]"), "old\r\n");
    folder.Write("Tarvik_Upg.Upg", "[Verzija]\r\nnew\r\n*\r\n");
    EXPECT_EQ(ReadSection(view, folder.str(), "[Verzija]"), "new\r\n");
}

TEST(SectionReader, HeaderWithCroatianLettersMatchesItsWindows1250Bytes) {
    TempFolder folder;
    ScriptedView view;
    folder.Write("Tarvik_Upg.Upg", "[Pro\x9Aireno]\r\nda\r\n*\r\n");
    EXPECT_EQ(ReadSection(view, folder.str(), "[Prošireno]"), "da\r\n");
}

}  // namespace
