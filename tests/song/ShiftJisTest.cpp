#include "song/ShiftJis.h"

#include <gtest/gtest.h>

#include <string>

using namespace vako;

// Plain ASCII runs are copied without conversion; these texts mix them with
// double-byte characters and broken sequences at the run borders.
TEST(ShiftJisTest, AsciiBesideOtherTextConvertsAsOneText) {
    EXPECT_EQ(toShiftJis("a\"著b"), std::string("a\"\x92\x98" "b"));
    EXPECT_EQ(toShiftJis("曲名,15\r\n"), std::string("\x8B\xC8\x96\xBC,15\r\n"));
    EXPECT_EQ(toShiftJis(""), "");
    // A cut-off sequence and a stray continuation byte each become one "?".
    EXPECT_EQ(toShiftJis("x\xE6\x97y"), "x?y");
    EXPECT_EQ(toShiftJis("\x80z"), "?z");
    EXPECT_EQ(toShiftJis("ソ\\"), std::string("\x83\x5C\x5C"));
}

TEST(ShiftJisTest, ASecondByteBelow0x80StaysPartOfItsCharacter) {
    // "ソ" and "表" end in 0x5C, the byte of a backslash.
    EXPECT_EQ(fromShiftJis("\x83\x5C"), "ソ");
    EXPECT_EQ(fromShiftJis("a\x95\x5C" "b"), "a表b");
    EXPECT_EQ(fromShiftJis("plain, ascii 120"), "plain, ascii 120");
    EXPECT_EQ(fromShiftJis("a\x83"), "a\xEF\xBF\xBD"); // a lead byte at the end
}
