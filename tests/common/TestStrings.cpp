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
