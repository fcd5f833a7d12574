// The 5x7 font: case folding, blank cells, the odd punctuation shapes,
// centring with truncation toward zero, and decimal formatting.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "../../teaser/draw.h"
#include "../../teaser/font.h"
#include "support/fbmem.h"
#include "support/glyphs.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

Pixels lit(const TestFb& fb)
{
    Pixels out;
    for (uint32_t y = 0; y < fb.height; ++y)
        for (uint32_t x = 0; x < fb.width; ++x)
            if (fb.written(int(x), int(y))) out.insert({int(x), int(y)});
    return out;
}

Pixels drawn_char(char ch, int scale = 1)
{
    TestFb fb(320, 200);
    draw_char(uint8_t(ch), 0, 0, scale, 0xFFFFFF);
    return lit(fb);
}

// Every character draws exactly its shape in the tests' own copy of the font.
TEST(Font, EveryCharacterDrawsItsShape)
{
    for (int ch = 0; ch < 256; ++ch) {
        const char text[2] = {char(ch), 0};
        Pixels want;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 6; ++x)
                if (glyph_lit(text, 0, 0, 1, x, y)) want.insert({x, y});
        EXPECT_EQ(drawn_char(char(ch)), want) << ch;
    }
}

TEST(Font, LowerCaseDrawsTheCapitals)
{
    TestFb a(320, 200);
    draw_str("orvelix", 3, 4, 2, 0x00EEFF);
    Pixels lower = lit(a);
    TestFb b(320, 200);
    draw_str("ORVELIX", 3, 4, 2, 0x00EEFF);
    EXPECT_EQ(lower, lit(b));
    EXPECT_FALSE(lower.empty());
}

// Every letter, in both cases, and every digit has a shape of its own: not
// blank, the same for both cases, and unlike every other letter and digit.
TEST(Font, EveryLetterAndDigitHasItsOwnShape)
{
    std::map<Pixels, char> shapes;
    for (char ch = 'A'; ch <= 'Z'; ++ch) {
        EXPECT_EQ(drawn_char(char(ch + 32)), drawn_char(ch)) << ch;
        shapes.insert({drawn_char(ch), ch});
    }
    for (char ch = '0'; ch <= '9'; ++ch) shapes.insert({drawn_char(ch), ch});
    EXPECT_EQ(shapes.size(), 36u);
    EXPECT_FALSE(shapes.count(Pixels{})) << "blank: " << shapes[Pixels{}];
}

TEST(Font, CharactersWithoutAShapeChangeNothing)
{
    for (int ch : {0x20, 0x3B, 0x3C, 0x22, 0x24, 0x5B, 0x7E, 0x0A, 0x7F, 0x80, 0xFF})
        EXPECT_TRUE(drawn_char(char(ch)).empty()) << ch;
}

TEST(Font, OddPunctuationShapes)
{
    EXPECT_EQ(drawn_char(','), drawn_char('.'));
    EXPECT_EQ(drawn_char('.'), (Pixels{{1, 5}, {2, 5}, {1, 6}, {2, 6}}));
    EXPECT_EQ(drawn_char('_'), (Pixels{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}));  // along the top
    EXPECT_EQ(drawn_char('>'), (Pixels{{1, 2}, {0, 3}, {1, 3}, {2, 3}, {1, 4}}));    // a small plus
    EXPECT_EQ(drawn_char('#'), drawn_char('*'));
    EXPECT_EQ(drawn_char('*'), (Pixels{{1, 0}, {2, 0}, {3, 0}, {1, 1}, {3, 1}, {1, 2}, {2, 2}, {3, 2}}));
    Pixels slash = drawn_char('/');
    EXPECT_EQ(slash, (Pixels{{0, 4}, {1, 3}, {2, 2}, {3, 1}, {4, 0}}));
}

TEST(Font, ScaleMagnifiesEveryPixelIntoASquare)
{
    Pixels one = drawn_char('R');
    Pixels three = drawn_char('R', 3);
    EXPECT_EQ(three.size(), one.size() * 9);
    for (auto [x, y] : one) EXPECT_TRUE(three.count({3 * x + 2, 3 * y + 2}));
    EXPECT_TRUE(drawn_char('R', 0).empty());
    EXPECT_TRUE(drawn_char('R', -2).empty());
}

TEST(Font, TextIsTransparentAndTheLaterColourWins)
{
    TestFb fb(320, 200);
    draw_str("O", 0, 0, 1, 0x0000FF);
    draw_str("C", 0, 0, 1, 0x00FF00);
    EXPECT_EQ(fb.px(0, 1), 0x00FF00u);  // lit in both
    EXPECT_EQ(fb.px(4, 3), 0x0000FFu);  // lit in O only, not erased by C
    EXPECT_FALSE(fb.written(2, 3));     // lit in neither
}

TEST(Font, CentringTruncatesTowardZero)
{
    auto first_column = [](uint32_t width, const char* text, int scale) {
        TestFb fb(width, 200);
        draw_str_centered(text, 10, scale, 0xFFFFFF);
        Pixels p = lit(fb);
        int min_x = 1 << 30;
        for (auto [x, y] : p) min_x = std::min(min_x, x);
        return min_x;
    };
    // "C" has its first column lit, so the first lit column is the start.
    EXPECT_EQ(first_column(800, "Coming end of 2027", 2), 292);
    EXPECT_EQ(first_column(801, "Coming end of 2027", 2), 292);

    // 58 characters (348 pixels) on 320 pixels start at -14: two cells and
    // two columns lost. On 321 the span of -27 halves to -13, not -14.
    const char* help = "SPACE - Desktop   F - Features   T - Terminal   R - Reboot";
    ASSERT_EQ(std::strlen(help), 58u);
    for (auto [width, start] : {std::pair{320, -14}, {321, -13}}) {
        Pixels clipped;
        {
            TestFb fb(width, 200);
            draw_str_centered(help, 10, 1, 0xFFFFFF);
            clipped = lit(fb);
            EXPECT_TRUE(fb.guards_intact());
        }
        TestFb wide(width + 80, 200);  // the same text unclipped, 40 pixels to the right
        draw_str(help, start + 40, 10, 1, 0xFFFFFF);
        Pixels expected;
        for (auto [x, y] : lit(wide))
            if (x >= 40 && x < width + 40) expected.insert({x - 40, y});
        EXPECT_EQ(clipped, expected) << width;
    }
}

TEST(Font, EmptyTextDrawsNothing)
{
    TestFb fb(320, 200);
    draw_str("", 10, 10, 1, 0xFFFFFF);
    draw_str_centered("", 10, 1, 0xFFFFFF);
    EXPECT_EQ(fb.written_pixels(), 0u);
}

TEST(Sitoa, ZeroOrdinaryAndLargest)
{
    char buf[11];
    sitoa(0, buf);
    EXPECT_STREQ(buf, "0");
    sitoa(1024, buf);
    EXPECT_STREQ(buf, "1024");
    sitoa(4294967295u, buf);
    EXPECT_STREQ(buf, "4294967295");
}

}  // namespace
