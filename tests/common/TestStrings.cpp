#include <gtest/gtest.h>

#include "common/Paths.h"
#include "common/Strings.h"

namespace {

TEST(Strings, TrimBlanksRemovesOnlySpaces) {
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimBlanks(" a \r\n"), "a \r\n");
    EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
}

TEST(Strings, ReplaceAll) {
    EXPECT_EQ(ReplaceAll("3.0.12 / 3.0.13", "/", "na"), "3.0.12 na 3.0.13");
    EXPECT_EQ(ReplaceAll("a\r\nb\r\n", "\r\n", ""), "ab");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("", "x", "y"), "");
}

TEST(Strings, ControlCharactersAreShownEscaped) {
    struct Row {
        const char* label;
        std::string in, out;
        bool control;
    } rows[] = {
        {"plain", "Tn_315_316.cab", "Tn_315_316.cab", false},
        {"backslash stays", "sub\\a.txt", "sub\\a.txt", false},
        {"croatian letters", "Čćžšđ.txt", "Čćžšđ.txt", false},
        {"line ends and tab", "a\r\nb\tc", "a\\r\\nb\\tc", true},
        {"terminal escape", "\x1B]0;owned\x07", "\\x1B]0;owned\\x07", true},
        {"nul and del", std::string("a\0b\x7F", 4), "a\\x00b\\x7F", true},
        {"C1 control in UTF-8", "\xC2\x9B" "2J", "\\u009B2J", true},
        {"no-break space is a letter", "a\xC2\xA0" "b", "a\xC2\xA0" "b", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EscapeControls(row.in), row.out) << row.label;
        EXPECT_EQ(HasControlCharacters(row.in), row.control) << row.label;
    }
}

TEST(Strings, CharCountCountsLettersNotBytes) {
    EXPECT_EQ(CharCount("Šđ"), 2u);
    EXPECT_EQ(CharCount("3.0.12 / 3.0"), 12u);
}

TEST(Paths, JoinAndLastComponent) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(JoinPath("a", "b"), "a" + sep + "b");
    EXPECT_EQ(JoinPath(sep, "b"), sep + "b");
    EXPECT_EQ(LastPathComponent(sep + "x" + sep + "Tarvik"), "Tarvik");
    EXPECT_EQ(LastPathComponent(sep), "");
    EXPECT_EQ(LastPathComponent("Tarvik"), "Tarvik");
}

}  // namespace
