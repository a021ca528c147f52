#include <gtest/gtest.h>

#include "common/Cp1250.h"

namespace {

TEST(Cp1250, EveryAssignedByteRoundTrips) {
    for (int b = 1; b < 256; ++b) {
        if (b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) continue;
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(cp1250::FromUtf8(cp1250::ToUtf8(byte)), byte) << "byte " << b;
    }
}

TEST(Cp1250, CroatianLetters) {
    EXPECT_EQ(cp1250::ToUtf8("\x8A\x9A\xC8\xE8\xC6\xE6\xD0\xF0\x8E\x9E"), "ŠšČčĆćĐđŽž");
    EXPECT_EQ(cp1250::FromUtf8("Vršim podizanje verzije"), "Vr\x9Aim podizanje verzije");
}

TEST(Cp1250, UnmappableAndBrokenTextBecomesQuestionMarks) {
    EXPECT_EQ(cp1250::FromUtf8("€→€"), "\x80?\x80");       // the arrow is not in the code page
    EXPECT_EQ(cp1250::FromUtf8("a\xC3"), "a?");              // a sequence cut short
    EXPECT_EQ(cp1250::FromUtf8("\xFF"), "?");
    EXPECT_EQ(cp1250::FromUtf8("a\xC0\xAF" "b"), "a?b");         // an overlong "/"
    EXPECT_EQ(cp1250::FromUtf8("\xE0\x80\x80"), "?");           // an overlong NUL
    EXPECT_EQ(cp1250::FromUtf8("\xF4\x90\x80\x80"), "?");       // past U+10FFFF
    EXPECT_EQ(cp1250::ToUtf8("\x81"), "\xEF\xBF\xBD");       // an unassigned byte
}

}  // namespace
