#include <gtest/gtest.h>

#include "database/BatchSplitter.h"
#include "database/SqlTexts.h"

namespace {

struct SplitCase {
    const char* label;
    std::string script;
    std::vector<std::string> batches;
    std::string remainder;
};

TEST(BatchSplitter, CutsExactlyAtTheSeparator) {
    const std::vector<SplitCase> cases = {
        {"worked layout", "A\r\n-GO-\r\nB\r\n-GO-\r\n", {"A\r\n", "\r\nB\r\n"}, "\r\n"},
        {"no separator", "CREATE TABLE t (a int)\r\n", {}, "CREATE TABLE t (a int)\r\n"},
        {"statement after the last separator", "A\r\n-GO-\r\nB\r\n", {"A\r\n"}, "\r\nB\r\n"},
        {"small -go- is text", "A\r\n-go-\r\nB\r\n-GO-\r\n", {"A\r\n-go-\r\nB\r\n"}, "\r\n"},
        {"inside a string", "SELECT 'x-GO-y'\r\n-GO-\r\n", {"SELECT 'x", "y'\r\n"}, "\r\n"},
        {"inside a comment", "-- a -GO- b\r\n", {"-- a "}, " b\r\n"},
        {"two separator lines", "A\r\n-GO-\r\n-GO-\r\n", {"A\r\n", "\r\n"}, "\r\n"},
        {"two separators touching", "A-GO--GO-B", {"A", ""}, "B"},
        {"separator first", "-GO-A-GO-", {"", "A"}, ""},
        {"empty script", "", {}, ""},
        {"blanks kept", "  A  \r\n-GO-", {"  A  \r\n"}, ""},
        {"Croatian letters", "INSERT t VALUES (N'čćžšđ ČĆŽŠĐ')\r\n-GO-\r\n",
         {"INSERT t VALUES (N'čćžšđ ČĆŽŠĐ')\r\n"}, "\r\n"},
    };
    for (const auto& c : cases) {
        const SplitScript split = SplitBatches(c.script);
        EXPECT_EQ(split.batches, c.batches) << c.label;
        EXPECT_EQ(split.remainder, c.remainder) << c.label;
    }
}

TEST(BatchSplitter, RemainderHoldsAStatementOnlyWhenMoreThanBlanks) {
    EXPECT_FALSE(HoldsStatement(""));
    EXPECT_FALSE(HoldsStatement("\r\n"));
    EXPECT_FALSE(HoldsStatement(" \t\r\n  \r\n"));
    EXPECT_TRUE(HoldsStatement("\r\nSELECT 1\r\n"));
    EXPECT_TRUE(HoldsStatement("x"));
}

TEST(SqlTexts, BracketedNamesDoubleTheClosingBracket) {
    EXPECT_EQ(QuoteName("ALFA"), "[ALFA]");
    EXPECT_EQ(QuoteName("a]b"), "[a]]b]");
    EXPECT_EQ(QuoteName("x]; DROP DATABASE y; --"), "[x]]; DROP DATABASE y; --]");
    EXPECT_EQ(TableListQuery("ALFA"),
              "SELECT name From [ALFA].[dbo].[sysobjects] WHERE type = 'U' Order By name");
    EXPECT_EQ(SwitchCommand("a]b"), "USE [a]]b]");
    EXPECT_EQ(StampCommand("a]b", "3.0.13"), "Update [a]]b].[dbo].[Verzija] Set Verzija = '3.0.13'");
    EXPECT_EQ(DatabaseListQuery(), "SELECT name From sysdatabases Where dbid>4 ORDER BY name");
}

}  // namespace
