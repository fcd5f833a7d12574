// The graphics test picture and its text overlay: exact pixels at both
// depths, rows with padding, small modes cut at the edges, nothing written
// outside the framebuffer, and the four overlay lines.
#include "../../fbprobe/pattern.h"
#include "probe_testing.h"

namespace {

using namespace probe_test;

class Pattern : public ::testing::Test {
protected:
    void SetUp() override { reset_text(); }
};

// A horizontal run of one colour, inclusive at both ends.
::testing::AssertionResult run_is(const TestFb& fb, int y, int x0, int x1, uint32_t colour)
{
    for (int x = x0; x <= x1; ++x)
        if (fb.px(x, y) != colour)
            return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is " << std::hex << fb.px(x, y);
    return ::testing::AssertionSuccess();
}

TEST_F(Pattern, At1024x768x32)
{
    TestFb fb(1024, 768, 32);
    auto tag = tag_for(fb);
    demo_graphics(&tag);
    ASSERT_TRUE(picture_is_test_pattern(fb));

    // The positions the layout names.
    EXPECT_EQ(fb.px(0, 0), 0x00CCCCu);
    EXPECT_EQ(fb.px(10, 10), 0x003333u);
    EXPECT_EQ(fb.px(309, 29), 0x003333u);
    EXPECT_EQ(fb.px(310, 29), 0x00CCCCu);
    EXPECT_EQ(fb.px(1023, 39), 0x00CCCCu);
    EXPECT_EQ(fb.px(1023, 40), 0x000000u);
    const uint32_t bars[7] = {0xFF0000, 0xFF8800, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0088FF, 0xFF00FF};
    for (int i = 0; i < 7; ++i) {
        const int top = 60 + 30 * i;
        EXPECT_TRUE(run_is(fb, top, 20, 1003, bars[i])) << i;
        EXPECT_TRUE(run_is(fb, top + 23, 20, 1003, bars[i])) << i;
        EXPECT_EQ(fb.px(19, top), 0u);
        EXPECT_EQ(fb.px(1004, top), 0u);
        EXPECT_TRUE(run_is(fb, top + 24, 0, 1023, 0)) << i;  // the black gap
    }
    EXPECT_TRUE(run_is(fb, 290, 20, 1003, 0x111111));
    EXPECT_TRUE(run_is(fb, 369, 20, 1003, 0x111111));
    EXPECT_TRUE(run_is(fb, 370, 0, 1023, 0));
    EXPECT_EQ(fb.px(30, 300), 0x00FF44u);
    EXPECT_EQ(fb.px(89, 359), 0x00FF44u);
    EXPECT_TRUE(run_is(fb, 300, 110, 309, 0xFFFFFF));
    EXPECT_TRUE(run_is(fb, 318, 110, 259, 0xCCCCCC));
    EXPECT_TRUE(run_is(fb, 336, 110, 289, 0xCCCCCC));
    EXPECT_TRUE(run_is(fb, 367, 110, 229, 0xCCCCCC));
    // Blue box x 432..591, y 708..747; lighter box x 442..581, y 718..737.
    EXPECT_TRUE(run_is(fb, 708, 432, 591, 0x0055AA));
    EXPECT_TRUE(run_is(fb, 747, 432, 591, 0x0055AA));
    EXPECT_EQ(fb.px(431, 708), 0u);
    EXPECT_EQ(fb.px(592, 747), 0u);
    EXPECT_EQ(fb.px(432, 748), 0u);
    EXPECT_TRUE(run_is(fb, 718, 442, 581, 0x0077DD));
    EXPECT_TRUE(run_is(fb, 737, 442, 581, 0x0077DD));
    EXPECT_EQ(fb.px(441, 718), 0x0055AAu);
    EXPECT_EQ(fb.px(442, 738), 0x0055AAu);
    // Short bar: 51 pixels wide, x 20..70, y 668..679.
    EXPECT_TRUE(run_is(fb, 668, 20, 70, 0x00FFCC));
    EXPECT_TRUE(run_is(fb, 679, 20, 70, 0x00FFCC));
    EXPECT_EQ(fb.px(71, 668), 0u);
    EXPECT_EQ(fb.px(20, 680), 0u);
    EXPECT_EQ(fb.px(20, 667), 0u);
}

TEST_F(Pattern, ThirtyTwoBitPixelsAreOneWordWithAZeroTopByte)
{
    TestFb fb(1024, 768, 32);
    auto tag = tag_for(fb);
    demo_graphics(&tag);
    const uint8_t* p = fb.base + 60 * fb.pitch + 20 * 4;  // first pixel of the orange-red bar
    EXPECT_EQ(p[0], 0x00);
    EXPECT_EQ(p[1], 0x00);
    EXPECT_EQ(p[2], 0xFF);
    EXPECT_EQ(p[3], 0x00);
    p = fb.base + 90 * fb.pitch + 20 * 4;  // orange: blue, green, red, 0
    EXPECT_EQ(p[0], 0x00);
    EXPECT_EQ(p[1], 0x88);
    EXPECT_EQ(p[2], 0xFF);
    EXPECT_EQ(p[3], 0x00);
}

TEST_F(Pattern, At1024x768x24ThreeBytesBlueGreenRed)
{
    TestFb fb(1024, 768, 24);
    auto tag = tag_for(fb);
    demo_graphics(&tag);
    ASSERT_TRUE(picture_is_test_pattern(fb));
    const uint8_t* p = fb.base + 210 * fb.pitch + 20 * 3;  // sky blue 0x0088FF
    EXPECT_EQ(p[0], 0xFF);
    EXPECT_EQ(p[1], 0x88);
    EXPECT_EQ(p[2], 0x00);
    EXPECT_EQ(p[3], 0xFF);  // the next pixel starts three bytes on
    p = fb.base + 708 * fb.pitch + 432 * 3;  // blue box 0x0055AA
    EXPECT_EQ(p[0], 0xAA);
    EXPECT_EQ(p[1], 0x55);
    EXPECT_EQ(p[2], 0x00);
}

TEST_F(Pattern, At640x480BothDepthsWithPaddedRows)
{
    for (uint32_t bpp : {32u, 24u}) {
        // Padding of 64 bytes, and an odd amount that does not fit a pixel.
        for (uint32_t extra : {64u, 13u}) {
            TestFb fb(640, 480, bpp, 640 * (bpp / 8) + extra);
            auto tag = tag_for(fb);
            demo_graphics(&tag);
            ASSERT_TRUE(picture_is_test_pattern(fb)) << bpp << " bpp, padding " << extra;
            EXPECT_EQ(fb.written_pixels(), 640u * 480u);
            // Short bar y 380..391 between the panel (to 369) and the blue box (420..459).
            EXPECT_TRUE(run_is(fb, 380, 20, 51, 0x00FFCC));
            EXPECT_TRUE(run_is(fb, 391, 20, 51, 0x00FFCC));
            EXPECT_TRUE(run_is(fb, 379, 0, 639, 0));
            EXPECT_TRUE(run_is(fb, 392, 0, 639, 0));
            EXPECT_TRUE(run_is(fb, 369, 20, 619, 0x111111));
            EXPECT_TRUE(run_is(fb, 420, 240, 399, 0x0055AA));
            EXPECT_TRUE(run_is(fb, 459, 240, 399, 0x0055AA));
            EXPECT_TRUE(run_is(fb, 419, 0, 639, 0));
        }
    }
}

TEST_F(Pattern, SmallModesAreCutAtTheEdges)
{
    // Down to the gate's 320 x 200, where the lower bars, the panel and the
    // boxes cross the bottom edge or overlap the bars.
    const uint32_t sizes[][2] = {{320, 200}, {321, 201}, {333, 211}, {400, 300}, {360, 369}, {800, 371}};
    for (auto& size : sizes)
        for (uint32_t bpp : {32u, 24u}) {
            TestFb fb(size[0], size[1], bpp, size[0] * (bpp / 8) + 8);
            auto tag = tag_for(fb);
            demo_graphics(&tag);
            ASSERT_TRUE(picture_is_test_pattern(fb)) << size[0] << "x" << size[1] << "x" << bpp;
            EXPECT_EQ(fb.written_pixels(), uint64_t{size[0]} * size[1]);
        }
}

TEST_F(Pattern, At320x200TheBoxesLieOverTheBars)
{
    TestFb fb(320, 200, 32);
    auto tag = tag_for(fb);
    demo_graphics(&tag);
    // Blue box x 80..239, y 140..179, over the yellow, green and cyan bars.
    EXPECT_TRUE(run_is(fb, 140, 80, 239, 0x0055AA));
    EXPECT_TRUE(run_is(fb, 179, 80, 239, 0x0055AA));
    EXPECT_EQ(fb.px(79, 140), 0xFFFF00u);
    EXPECT_EQ(fb.px(240, 140), 0xFFFF00u);
    // Lighter box x 90..229, y 150..169.
    EXPECT_TRUE(run_is(fb, 150, 90, 229, 0x0077DD));
    EXPECT_TRUE(run_is(fb, 169, 90, 229, 0x0077DD));
    // The cyan bar (from y 180) is cut at the bottom row.
    EXPECT_TRUE(run_is(fb, 180, 20, 299, 0x00FFFF));
    EXPECT_TRUE(run_is(fb, 199, 20, 299, 0x00FFFF));
    // Short bar: 16 wide at y 100..111, over the orange bar.
    EXPECT_TRUE(run_is(fb, 100, 20, 35, 0x00FFCC));
    EXPECT_TRUE(run_is(fb, 111, 20, 35, 0x00FFCC));
    EXPECT_EQ(fb.px(36, 100), 0xFF8800u);
}

TEST_F(Pattern, RedrawingRepaintsEverythingFromTheBlackBackground)
{
    TestFb fb(640, 480, 24);
    auto tag = tag_for(fb);
    demo_graphics(&tag);
    auto first = fb.snapshot();
    fb.clear(0x5A);
    demo_graphics(&tag);
    EXPECT_EQ(fb.snapshot(), first);
    EXPECT_TRUE(fb.guards_intact());
}

TEST_F(Pattern, TheFramebufferIsReadFromTheTagEachTime)
{
    TestFb big(1024, 768, 32);
    auto big_tag = tag_for(big);
    demo_graphics(&big_tag);
    TestFb small(320, 200, 24, 1000);  // the same memory, now smaller and padded
    auto small_tag = tag_for(small);
    demo_graphics(&small_tag);
    EXPECT_TRUE(picture_is_test_pattern(small));
}

TEST_F(Pattern, FillRectCutsAtEveryEdgeAndIgnoresEmptySizes)
{
    TestFb fb(320, 200, 24, 320 * 3 + 4);
    auto tag = tag_for(fb);
    demo_graphics(&tag);  // takes up the framebuffer
    fb.clear(FB_CANARY);

    for (int w : {0, -1, -2147483647 - 1}) {
        fill_rect(10, 10, w, 10, 0xFFFFFF);
        fill_rect(10, 10, 10, w, 0xFFFFFF);
    }
    fill_rect(-1000, -1000, 500, 500, 0xFFFFFF);                 // above and to the left
    fill_rect(320, 0, 100, 100, 0xFFFFFF);                       // to the right
    fill_rect(0, 200, 100, 100, 0xFFFFFF);                       // below
    fill_rect(2147483000, 2147483000, 2147483647, 2000, 0xFFFFFF);  // x + w past the int range
    EXPECT_EQ(fb.written_pixels(), 0u);

    fill_rect(-5, 10, 10, 1, 0x123456);  // crosses the left edge
    fill_rect(318, 20, 10, 1, 0x123456); // the right edge
    fill_rect(100, 198, 1, 10, 0x123456); // the bottom edge
    fill_rect(50, -3, 1, 5, 0x123456);   // the top edge
    EXPECT_EQ(fb.written_pixels(), 5u + 2u + 2u + 2u);
    EXPECT_EQ(fb.px(0, 10), 0x123456u);
    EXPECT_EQ(fb.px(4, 10), 0x123456u);
    EXPECT_EQ(fb.px(319, 20), 0x123456u);
    EXPECT_EQ(fb.px(100, 199), 0x123456u);
    EXPECT_EQ(fb.px(50, 1), 0x123456u);

    fill_rect(-2147483647 - 1, -2147483647 - 1, 2147483647, 2147483647, 0x0A0B0C);  // ends before 0
    fill_rect(-100000, -100000, 2147483647, 2147483647, 0x0A0B0C);                 // covers all
    EXPECT_EQ(fb.written_pixels(), 320u * 200u);
    std::string where;
    EXPECT_TRUE(fb.guards_intact(&where)) << where;
}

TEST_F(Pattern, PutPixelWritesOnePixelAndNothingOutside)
{
    TestFb fb(320, 200, 32, 1400);
    auto tag = tag_for(fb);
    demo_graphics(&tag);
    fb.clear(FB_CANARY);
    put_pixel(0, 0, 0x010203);
    put_pixel(319, 199, 0x040506);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {320, 0}, {0, 200}, {-2147483647 - 1, 5}, {5, 2147483647}})
        put_pixel(x, y, 0xFFFFFF);
    EXPECT_EQ(fb.written_pixels(), 2u);
    EXPECT_EQ(fb.px(0, 0), 0x010203u);
    EXPECT_EQ(fb.px(319, 199), 0x040506u);
    EXPECT_TRUE(fb.guards_intact());
}

TEST_F(Pattern, OverlayWritesItsFourRowsOnly)
{
    auto tag = make_tag(0xFD000000, 4096, 1024, 768, 32);
    show_graphics_text_overlay(&tag);
    Screen want(UNTOUCHED);
    EXPECT_TRUE(screen_is(with_overlay(want, "0xFD000000", "1024x768 32bpp")));
    EXPECT_EQ(vga_y, 4);
    EXPECT_EQ(vga_x, 31);
}

TEST_F(Pattern, OverlayPlacesItsRowsWhereverTheCursorWas)
{
    auto tag = make_tag(0x1E0000000ull, 2400, 800, 600, 24);  // above 4 GiB: the low half is shown
    vga_y = 30;
    vga_x = 50;
    show_graphics_text_overlay(&tag);
    show_graphics_text_overlay(&tag);  // the same cells again
    Screen want(UNTOUCHED);
    EXPECT_TRUE(screen_is(with_overlay(want, "0xE0000000", "800x600 24bpp")));
}

}  // namespace
