// Rectangles, boxes and the pointer: exact pixels, clipping at every edge,
// 24-bit stores of exactly three bytes, row padding never written.
#include <gtest/gtest.h>

#include <algorithm>

#include "../../teaser/draw.h"
#include "support/fbmem.h"

namespace {

TEST(Rect, ClipsAtTheLeftEdgeAndWritesNothingElse)
{
    TestFb fb(320, 200);
    rect(-5, 10, 10, 1, 0x123456);
    for (int x = 0; x < 320; ++x)
        EXPECT_EQ(fb.written(x, 10), x < 5) << x;
    EXPECT_EQ(fb.written_pixels(), 5u);
    EXPECT_EQ(fb.px(0, 10), 0x123456u);
    EXPECT_TRUE(fb.guards_intact());
}

TEST(Rect, ClipsAtTheRightAndBottomEdges)
{
    TestFb fb(320, 200);
    rect(319, 50, 12, 1, 0xFFFFFF);
    rect(100, 197, 1, 12, 0xFFFFFF);
    EXPECT_EQ(fb.written_pixels(), 1u + 3u);
    EXPECT_TRUE(fb.written(319, 50));
    EXPECT_TRUE(fb.written(100, 197) && fb.written(100, 199));
    EXPECT_TRUE(fb.guards_intact());
}

TEST(Rect, EmptyOrNegativeSizesWriteNothing)
{
    TestFb fb(320, 200);
    for (int w : {0, -1, -1000}) {
        rect(10, 10, w, 10, 0xFFFFFF);
        rect(10, 10, 10, w, 0xFFFFFF);
    }
    rect(-1000, -1000, 500, 500, 0xFFFFFF);      // wholly above and left
    rect(320, 0, 100, 100, 0xFFFFFF);            // wholly right
    rect(0, 200, 100, 100, 0xFFFFFF);            // wholly below
    rect(2147483000, 2147483000, 2000, 2000, 1); // far edge past the 32-bit range
    EXPECT_EQ(fb.written_pixels(), 0u);
    EXPECT_TRUE(fb.guards_intact());
}

TEST(Rect, CoversTheWholeScreenFromFarOutside)
{
    TestFb fb(321, 203, 24, 1000);
    rect(-2147483647, -2147483647, 2147483647, 2147483647, 0x0A0B0C);
    rect(-100000, -100000, 200000, 200000, 0x0A0B0C);
    EXPECT_EQ(fb.written_pixels(), 321u * 203u);
    EXPECT_EQ(fb.px(320, 202), 0x0A0B0Cu);
    EXPECT_TRUE(fb.guards_intact());
}

TEST(Rect, TwentyFourBitPixelsTouchExactlyThreeBytes)
{
    TestFb fb(320, 200, 24);
    rect(7, 3, 1, 1, 0xFF112233);  // the top byte is never stored at 24 bits
    EXPECT_EQ(fb.px(7, 3), 0x112233u);
    EXPECT_EQ(fb.base[3 * 320 * 3 + 7 * 3 + 0], 0x33);
    EXPECT_EQ(fb.base[3 * 320 * 3 + 7 * 3 + 2], 0x11);
    EXPECT_FALSE(fb.written(8, 3));
    EXPECT_FALSE(fb.written(6, 3));
    EXPECT_EQ(fb.written_pixels(), 1u);
}

TEST(Rect, EveryRunLengthAndOffsetAtBothDepthsWithPadding)
{
    // Row stores go a word at a time: check every start and length that the
    // groups of four (24-bit) and eight (32-bit) pixels can meet.
    for (uint32_t bpp : {24u, 32u}) {
        TestFb fb(40, 6, bpp, 40 * (bpp / 8) + 13);
        for (int x = 0; x < 12; ++x)
            for (int w = 1; w <= 40 - x; ++w) {
                fb.clear(FB_CANARY);
                rect(x, 1, w, 3, 0x00C0FFEE);
                for (int yy = 0; yy < 6; ++yy)
                    for (int xx = 0; xx < 40; ++xx) {
                        bool inside = yy >= 1 && yy <= 3 && xx >= x && xx < x + w;
                        ASSERT_EQ(fb.written(xx, yy), inside) << bpp << " " << x << " " << w << " " << xx;
                        if (inside) {
                            ASSERT_EQ(fb.px(xx, yy), 0xC0FFEEu);
                        }
                    }
                std::string where;
                ASSERT_TRUE(fb.guards_intact(&where)) << where;
            }
    }
}

// A mask of squares paints what a rect per set bit paints: runs at each
// edge of the screen and of a clip window, the top bit and a full mask.
// Masks a whole word left of either left edge, or ending at or a whole
// word past either right edge, are where a 64-bit shift would wrap.
TEST(Bits, SameAsARectPerSetBitUnderEveryClip)
{
    const uint64_t masks[] = {0x1F, 0x2D5ull << 30, ~0ull, 1ull << 63 | 1, 0x8000000000000001ull | 0xF0F0ull << 20};
    for (uint32_t bpp : {24u, 32u})
        for (int scale : {1, 3})
            for (int x : {-70, -64, -55, -25, -2, 0, 5, 33, 39, 64})
                for (int y : {4, 10})
                    for (bool clip : {false, true})
                        for (uint64_t bits : masks) {
                            TestFb fb(64, 12, bpp, 64 * (bpp / 8) + 7);
                            if (clip) draw_set_clip(9, 4, 30, 2);
                            draw_bits(x, y, bits, scale, 0x00ABCDEF);
                            const std::vector<uint32_t> got = fb.snapshot();
                            std::string where;
                            ASSERT_TRUE(fb.guards_intact(&where)) << where;
                            fb.clear(FB_CANARY);
                            for (int i = 0; i < 64; ++i)
                                if (bits >> i & 1) rect(x + i * scale, y, scale, scale, 0x00ABCDEF);
                            draw_reset_clip();
                            ASSERT_EQ(got, fb.snapshot()) << bpp << " " << scale << " " << x << " " << y << " " << clip << " " << bits;
                        }
}

TEST(Rect, FillBlacksEveryPixelAndNoPadding)
{
    for (uint32_t bpp : {24u, 32u}) {
        TestFb fb(333, 211, bpp, 333 * (bpp / 8) + 20);
        fill();
        for (uint32_t y = 0; y < 211; ++y)
            for (uint32_t x = 0; x < 333; ++x) ASSERT_EQ(fb.px(int(x), int(y)), 0u);
        EXPECT_TRUE(fb.guards_intact());
    }
}

TEST(Clip, LimitsDrawingToTheWindowUntilReset)
{
    TestFb fb(320, 200);
    draw_set_clip(10, 20, 5, 4);
    rect(0, 0, 320, 200, 0xFFFFFF);
    EXPECT_EQ(fb.written_pixels(), 20u);
    EXPECT_TRUE(fb.written(10, 20) && fb.written(14, 23));
    EXPECT_FALSE(fb.written(15, 23) || fb.written(14, 24));
    draw_reset_clip();
    rect(300, 190, 100, 100, 0xFFFFFF);
    EXPECT_EQ(fb.written_pixels(), 20u + 200u);
}

// A nested window is cut to its parent on each side it reaches past, and
// leaving it puts the parent back.
TEST(Clip, ANestedWindowCutsItsParentOnEverySide)
{
    const int64_t inner[][4] = {{5, 25, 20, 5}, {30, 15, 100, 10}, {12, 30, 5, 100}, {-50, -50, 500, 500}, {70, 30, 5, 5}};
    TestFb fb(320, 200);
    for (const auto& n : inner) {
        fb.clear(FB_CANARY);
        draw_set_clip(10, 20, 50, 40);
        const draw_area was = draw_clip_enter(n[0], n[1], n[2], n[3]);
        rect(0, 0, 320, 200, 0xFFFFFF);
        draw_clip_leave(was);
        const draw_area back = draw_clip();
        EXPECT_TRUE(back.x0 == 10 && back.y0 == 20 && back.x1 == 60 && back.y1 == 60);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 320; ++x) {
                const bool inside = x >= std::max<int64_t>(10, n[0]) && x < std::min<int64_t>(60, n[0] + n[2]) &&
                                    y >= std::max<int64_t>(20, n[1]) && y < std::min<int64_t>(60, n[1] + n[3]);
                ASSERT_EQ(fb.written(x, y), inside) << "window " << n[0] << "," << n[1] << " pixel " << x << "," << y;
            }
    }
    draw_reset_clip();
}

TEST(Box, EdgesOnlyAndDegenerateShapes)
{
    TestFb fb(320, 200);
    draw_box(20, 20, 10, 10, 0x00FF00);
    EXPECT_EQ(fb.written_pixels(), 36u);
    for (int y = 21; y < 29; ++y)
        for (int x = 21; x < 29; ++x) EXPECT_FALSE(fb.written(x, y));

    TestFb one(320, 200);
    draw_box(5, 6, 1, 1, 0x0000FF);
    EXPECT_EQ(one.written_pixels(), 1u);
    EXPECT_TRUE(one.written(5, 6));

    TestFb flat(320, 200);
    draw_box(50, 60, 2, 1, 0x0000FF);  // h = 1: top and bottom on one row
    EXPECT_EQ(flat.written_pixels(), 2u);

    TestFb corner(320, 200);
    draw_box(315, 195, 20, 20, 0x0000FF);  // only the top and left edges show
    EXPECT_EQ(corner.written_pixels(), 5u + 5u - 1u);
    EXPECT_TRUE(corner.guards_intact());
}

TEST(Cursor, LayersAndPressedFace)
{
    TestFb fb(320, 200);
    draw_cursor(10, 10, 0);
    EXPECT_EQ(fb.px(15, 15), 0x001A1Au);
    EXPECT_EQ(fb.px(11, 11), 0x00EEFFu);
    EXPECT_EQ(fb.px(10, 21), 0x000000u);
    EXPECT_EQ(fb.written_pixels(), 144u);
    draw_cursor(10, 10, 1);
    EXPECT_EQ(fb.px(11, 11), 0xFFCC00u);
}

TEST(Cursor, AtTheBottomRightCornerWritesOneBlackPixel)
{
    TestFb fb(320, 200, 24);
    draw_cursor(319, 199, 1);
    EXPECT_EQ(fb.written_pixels(), 1u);
    EXPECT_EQ(fb.px(319, 199), 0u);
    EXPECT_TRUE(fb.guards_intact());
}

}  // namespace
