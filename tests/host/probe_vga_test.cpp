// The probe's text console: clearing, the cursor writer with its wrap and
// its limit at row 24, line feed and carriage return, the number writers,
// and the fixed-position writer cut at column 80.
#include <functional>

#include "probe_testing.h"

namespace {

using namespace probe_test;

TEST(Vga, ClearBlanksEveryCellAndHomesTheCursor)
{
    reset_text();
    vga_x = 17;
    vga_y = 30;
    vga_clear();
    EXPECT_TRUE(screen_is(Screen(0x0020)));
    EXPECT_EQ(vga_x, 0);
    EXPECT_EQ(vga_y, 0);
}

struct Cells {
    int row, col;
    std::string text;
    uint8_t attr;
};

struct WriteCase {
    const char* what;
    int row, col;  // the cursor before
    std::function<void()> write;
    std::vector<Cells> want;  // all other cells stay as they were
    int end_row, end_col;     // the cursor after
};

const std::string ABC = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::string TEXT_85 = ABC + ABC + ABC + "ABCDEFG";

TEST(Vga, Writers)
{
    const WriteCase cases[] = {
        {"only the attribute's low byte counts", 3, 10, [] { vga_puts_col("Hi!", 0x7F0E); },
         {{3, 10, "Hi!", 0x0E}}, 3, 13},
        {"85 characters wrap at column 80", 0, 0, [] { vga_puts_col(TEXT_85.c_str(), 0x0F); },
         {{0, 0, TEXT_85.substr(0, 80), 0x0F}, {1, 0, "CDEFG", 0x0F}}, 1, 5},
        {"the last cell, then nothing below row 24, numbers included", 24, 79,
         [] {
             vga_puts_col("XY", 0x0A);
             vga_puts_col("more", 0x0F);
             vga_putdec(12345);
             vga_puthex(0xB8000);
         },
         {{24, 79, "X", 0x0A}}, 25, 0},
        {"a line feed at row 24 leaves the screen until the cursor is placed again", 24, 7,
         [] {
             vga_puts_col("\nlost", 0x0F);
             vga_y = 24;
             vga_x = 0;
             vga_puts_col("ok", 0x0F);
         },
         {{24, 0, "ok", 0x0F}}, 24, 2},
        {"line feed: column 0 of the next row, nothing written", 2, 40, [] { vga_puts_col("ab\ncd\n\nef", 0x0F); },
         {{2, 40, "ab", 0x0F}, {3, 0, "cd", 0x0F}, {5, 0, "ef", 0x0F}}, 5, 2},
        {"carriage return: column 0 of the same row", 4, 0, [] { vga_puts_col("12\r3", 0x0F); },
         {{4, 0, "32", 0x0F}}, 4, 1},
        {"an empty string", 6, 6, [] { vga_puts_col("", 0x0F); }, {}, 6, 6},
        {"decimal 0", 0, 0, [] { vga_putdec(0); }, {{0, 0, "0", 0x0F}}, 0, 1},
        {"the largest decimal", 0, 0, [] { vga_putdec(4294967295u); }, {{0, 0, "4294967295", 0x0F}}, 0, 10},
        {"decimals one after the other", 0, 0,
         [] {
             vga_putdec(1000000000u);
             vga_putdec(7);
             vga_putdec(10);
         },
         {{0, 0, "1000000000710", 0x0F}}, 0, 13},
        {"decimals wrap like any text", 0, 77, [] { vga_putdec(123456); },
         {{0, 77, "123", 0x0F}, {1, 0, "456", 0x0F}}, 1, 3},
        {"hex: leading zeros, upper case", 0, 0,
         [] {
             vga_puthex(0);
             vga_puthex(0x0123ABCD);
             vga_puthex(0x456789EF);
             vga_puthex(0xFFFFFFFF);
         },
         {{0, 0, "0x000000000x0123ABCD0x456789EF0xFFFFFFFF", 0x0F}}, 0, 40},
        {"puts_at is cut at column 80 and leaves the cursor", 9, 9,
         [] {
             vga_puts_at(3, 75, "ABCDEFGH", 0x0C);
             vga_puts_at(5, 80, "x", 0x0F);
         },
         {{3, 75, "ABCDE", 0x0C}}, 9, 9},
        {"puts_at writes control bytes as characters", 0, 0, [] { vga_puts_at(10, 0, "a\nb\rc", 0x08); },
         {{10, 0, "a\nb\rc", 0x08}}, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset_text();
        vga_y = c.row;
        vga_x = c.col;
        c.write();
        Screen want(UNTOUCHED);
        for (const auto& w : c.want) want.put(w.row, w.col, w.text, w.attr);
        EXPECT_TRUE(screen_is(want));
        EXPECT_EQ(vga_y, c.end_row);
        EXPECT_EQ(vga_x, c.end_col);
    }
}

}  // namespace
