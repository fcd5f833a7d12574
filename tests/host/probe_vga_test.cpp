// The probe's text console: clearing, the cursor writer with its wrap and
// its limit at row 24, line feed and carriage return, the number writers,
// and the fixed-position writer cut at column 80.
#include "probe_testing.h"

namespace {

using namespace probe_test;

class Vga : public ::testing::Test {
protected:
    void SetUp() override { reset_text(); }
    // Cells not written keep UNTOUCHED; the model starts the same way.
    Screen untouched{UNTOUCHED};
};

TEST_F(Vga, ClearBlanksEveryCellAndHomesTheCursor)
{
    vga_x = 17;
    vga_y = 30;
    vga_clear();
    EXPECT_TRUE(screen_is(Screen(0x0020)));
    EXPECT_EQ(vga_x, 0);
    EXPECT_EQ(vga_y, 0);
}

TEST_F(Vga, WritesAtTheCursorInTheAttributeAndAdvances)
{
    vga_y = 3;
    vga_x = 10;
    vga_puts_col("Hi!", 0x0E);
    EXPECT_TRUE(screen_is(untouched.put(3, 10, "Hi!", 0x0E)));
    EXPECT_EQ(vga_y, 3);
    EXPECT_EQ(vga_x, 13);
}

TEST_F(Vga, OnlyTheLowByteOfTheAttributeCounts)
{
    vga_puts_col("a", 0x7F0C);
    EXPECT_EQ(cell(0, 0), 0x0C61);
}

TEST_F(Vga, EightyFiveCharactersWrapIntoTheNextRow)
{
    std::string text;
    for (int i = 0; i < 85; ++i) text += char('A' + i % 26);
    vga_puts_col(text.c_str(), 0x0F);
    untouched.put(0, 0, text.substr(0, 80), 0x0F).put(1, 0, text.substr(80), 0x0F);
    EXPECT_TRUE(screen_is(untouched));
    EXPECT_EQ(vga_y, 1);
    EXPECT_EQ(vga_x, 5);
}

TEST_F(Vga, TheLastCellThenNothingBelowRow24)
{
    vga_y = 24;
    vga_x = 79;
    vga_puts_col("XY", 0x0A);
    EXPECT_TRUE(screen_is(untouched.put(24, 79, "X", 0x0A)));
    EXPECT_EQ(vga_y, 25);
    EXPECT_EQ(vga_x, 0);

    // Later calls are lost too, numbers included, and the cursor stays.
    vga_puts_col("more", 0x0F);
    vga_putdec(12345);
    vga_puthex(0xB8000);
    EXPECT_TRUE(screen_is(untouched));
    EXPECT_EQ(vga_y, 25);
    EXPECT_EQ(vga_x, 0);
}

TEST_F(Vga, LineFeedAtRow24LeavesTheScreen)
{
    vga_y = 24;
    vga_x = 7;
    vga_puts_col("\nlost", 0x0F);
    EXPECT_TRUE(screen_is(untouched));
    EXPECT_EQ(vga_y, 25);
    EXPECT_EQ(vga_x, 0);

    // Until a caller places the cursor again.
    vga_y = 24;
    vga_x = 0;
    vga_puts_col("back", 0x0F);
    EXPECT_TRUE(screen_is(untouched.put(24, 0, "back", 0x0F)));
}

TEST_F(Vga, LineFeedGoesToColumnZeroOfTheNextRowWithoutWriting)
{
    vga_y = 2;
    vga_x = 40;
    vga_puts_col("ab\ncd\n\nef", 0x0F);
    untouched.put(2, 40, "ab", 0x0F).put(3, 0, "cd", 0x0F).put(5, 0, "ef", 0x0F);
    EXPECT_TRUE(screen_is(untouched));
    EXPECT_EQ(vga_y, 5);
    EXPECT_EQ(vga_x, 2);
}

TEST_F(Vga, CarriageReturnGoesBackToColumnZeroOfTheSameRow)
{
    vga_y = 4;
    vga_puts_col("12\r3", 0x0F);
    EXPECT_TRUE(screen_is(untouched.put(4, 0, "32", 0x0F)));
    EXPECT_EQ(vga_y, 4);
    EXPECT_EQ(vga_x, 1);
}

TEST_F(Vga, EmptyStringChangesNothing)
{
    vga_y = 6;
    vga_x = 6;
    vga_puts_col("", 0x0F);
    EXPECT_TRUE(screen_is(untouched));
    EXPECT_EQ(vga_y, 6);
    EXPECT_EQ(vga_x, 6);
}

TEST_F(Vga, DecimalAtZeroAndTheLargestValueAlwaysWhite)
{
    vga_putdec(0);
    vga_y = 1;
    vga_x = 0;
    vga_putdec(4294967295u);
    vga_y = 2;
    vga_x = 0;
    vga_putdec(1000000000u);
    vga_y = 3;
    vga_x = 0;
    vga_putdec(7);
    vga_putdec(10);
    untouched.put(0, 0, "0", 0x0F).put(1, 0, "4294967295", 0x0F).put(2, 0, "1000000000", 0x0F).put(3, 0, "710", 0x0F);
    EXPECT_TRUE(screen_is(untouched));
    EXPECT_EQ(vga_x, 3);
}

TEST_F(Vga, DecimalDigitsWrapLikeAnyText)
{
    vga_y = 0;
    vga_x = 77;
    vga_putdec(123456);
    EXPECT_TRUE(screen_is(untouched.put(0, 77, "123", 0x0F).put(1, 0, "456", 0x0F)));
    EXPECT_EQ(vga_y, 1);
    EXPECT_EQ(vga_x, 3);
}

TEST_F(Vga, HexIsTenCharactersUpperCaseWithLeadingZeros)
{
    vga_puthex(0xB8000);
    vga_y = 1;
    vga_x = 0;
    vga_puthex(0xFD000000);
    vga_y = 2;
    vga_x = 0;
    vga_puthex(0);
    vga_y = 3;
    vga_x = 0;
    vga_puthex(0xFFFFFFFF);
    vga_y = 4;
    vga_x = 0;
    vga_puthex(0x0123ABCD);
    untouched.put(0, 0, "0x000B8000", 0x0F)
        .put(1, 0, "0xFD000000", 0x0F)
        .put(2, 0, "0x00000000", 0x0F)
        .put(3, 0, "0xFFFFFFFF", 0x0F)
        .put(4, 0, "0x0123ABCD", 0x0F);
    EXPECT_TRUE(screen_is(untouched));
    EXPECT_EQ(vga_y, 4);
    EXPECT_EQ(vga_x, 10);
}

TEST_F(Vga, PutsAtIsCutAtColumn80AndLeavesTheCursor)
{
    vga_y = 9;
    vga_x = 9;
    vga_puts_at(3, 75, "ABCDEFGH", 0x0C);
    EXPECT_TRUE(screen_is(untouched.put(3, 75, "ABCDE", 0x0C)));
    EXPECT_EQ(vga_y, 9);
    EXPECT_EQ(vga_x, 9);
}

TEST_F(Vga, PutsAtWritesControlBytesAsCharacters)
{
    vga_puts_at(10, 0, "a\nb\rc", 0x08);
    EXPECT_EQ(cell(10, 0), 0x0861);
    EXPECT_EQ(cell(10, 1), 0x080A);
    EXPECT_EQ(cell(10, 2), 0x0862);
    EXPECT_EQ(cell(10, 3), 0x080D);
    EXPECT_EQ(cell(10, 4), 0x0863);
    EXPECT_EQ(cell(11, 0), UNTOUCHED);
}

TEST_F(Vga, PutsAtFromColumn80WritesNothing)
{
    vga_puts_at(0, 80, "x", 0x0F);
    vga_puts_at(5, 79, "yz", 0x0F);
    EXPECT_TRUE(screen_is(untouched.put(5, 79, "y", 0x0F)));
}

}  // namespace
