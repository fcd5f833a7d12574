// The graphics test picture and its text overlay: exact pixels at both
// depths, rows with padding, small modes cut at the edges, nothing written
// outside the framebuffer, and the four overlay lines.
#include "../../fbprobe/pattern.h"
#include "probe_testing.h"

namespace {
using namespace probe_test;

// At 32 bits a pixel is one word: blue, green, red, then a zero byte.
::testing::AssertionResult top_bytes_zero(const TestFb& fb)
{
    for (uint32_t y = 0; y < fb.height; ++y)
        for (uint32_t x = 0; x < fb.width; ++x)
            if (fb.base[y * fb.pitch + x * 4 + 3] != 0)
                return ::testing::AssertionFailure() << "top byte of (" << x << ", " << y << ")";
    return ::testing::AssertionSuccess();
}

TEST(Pattern, EveryModeAtBothDepths)
{
    // Rows padded by 64 bytes and by 13, which fits no pixel and leaves 32-bit
    // stores unaligned; down to the gate's 320 x 200, where the lower bars, the
    // panel and the boxes cross the bottom edge or overlap the bars.
    const uint32_t modes[][3] = {{1024, 768, 0}, {640, 480, 64}, {640, 480, 13}, {320, 200, 8}, {321, 201, 8},
                                 {333, 211, 8},  {400, 300, 8},  {360, 369, 8},  {800, 371, 8}};
    for (const auto& [w, h, padding] : modes)
        for (uint32_t bpp : {32u, 24u}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bpp) + " padding " +
                         std::to_string(padding));
            TestFb fb(w, h, bpp, w * bpp / 8 + padding);
            auto tag = tag_for(fb);
            demo_graphics(&tag);
            EXPECT_TRUE(picture_is_test_pattern(fb));
            if (bpp == 32) {
                EXPECT_TRUE(top_bytes_zero(fb));
            }
        }
}

// Points the layout names, as a check on expected_picture itself.
TEST(Pattern, ThePositionsTheLayoutNames)
{
    struct Point {
        int x, y;
        uint32_t colour;
    };
    std::vector<Point> at_1024 = {
        // top bar to row 39, dark block x 10..309, y 10..29
        {0, 0, 0x00CCCC}, {1023, 39, 0x00CCCC}, {1023, 40, 0}, {10, 10, 0x003333}, {309, 29, 0x003333},
        {310, 29, 0x00CCCC},
        // the panel to row 369, its green square, white and grey lines
        {20, 290, 0x111111}, {1003, 369, 0x111111}, {20, 370, 0}, {30, 300, 0x00FF44}, {89, 359, 0x00FF44},
        {309, 300, 0xFFFFFF}, {310, 300, 0x111111}, {259, 318, 0xCCCCCC}, {289, 336, 0xCCCCCC},
        {229, 367, 0xCCCCCC},
        // blue box x 432..591, y 708..747; lighter box x 442..581, y 718..737
        {432, 708, 0x0055AA}, {591, 747, 0x0055AA}, {431, 708, 0}, {592, 747, 0}, {432, 748, 0},
        {442, 718, 0x0077DD}, {581, 737, 0x0077DD}, {441, 718, 0x0055AA}, {442, 738, 0x0055AA},
        // short bar 51 wide: x 20..70, y 668..679
        {20, 668, 0x00FFCC}, {70, 679, 0x00FFCC}, {71, 668, 0}, {20, 680, 0}, {20, 667, 0}};
    const uint32_t bars[] = {0xFF0000, 0xFF8800, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0088FF, 0xFF00FF};
    for (int i = 0; i < 7; ++i) {  // x 20..1003, 24 rows, then a black gap
        const int top = 60 + 30 * i;
        at_1024.insert(at_1024.end(), {{20, top, bars[i]}, {1003, top + 23, bars[i]}, {19, top, 0},
                                       {1004, top, 0}, {20, top + 24, 0}});
    }
    const struct {
        uint32_t w, h;
        std::vector<Point> points;
    } named[] = {
        {1024, 768, at_1024},
        // short bar x 20..51, y 380..391, between the panel and the blue box x 240..399, y 420..459
        {640, 480, {{20, 380, 0x00FFCC}, {51, 391, 0x00FFCC}, {52, 380, 0}, {20, 379, 0}, {20, 392, 0},
                    {619, 369, 0x111111}, {240, 420, 0x0055AA}, {399, 459, 0x0055AA}, {239, 420, 0},
                    {240, 419, 0}}},
        // the boxes over the yellow, green and cyan bars; the cyan bar cut at the bottom row; the
        // short bar, 16 wide, over the orange one
        {320, 200, {{80, 140, 0x0055AA}, {239, 179, 0x0055AA}, {79, 140, 0xFFFF00}, {240, 140, 0xFFFF00},
                    {90, 150, 0x0077DD}, {229, 169, 0x0077DD}, {20, 180, 0x00FFFF}, {299, 199, 0x00FFFF},
                    {20, 100, 0x00FFCC}, {35, 111, 0x00FFCC}, {36, 100, 0xFF8800}}},
    };
    for (const auto& n : named) {
        TestFb fb(n.w, n.h, 32);
        auto tag = tag_for(fb);
        demo_graphics(&tag);
        for (const auto& p : n.points)
            EXPECT_EQ(fb.px(p.x, p.y), p.colour) << n.w << "x" << n.h << " at (" << p.x << ", " << p.y << ")";
    }
}

TEST(Pattern, EachPictureTakesItsFramebufferFromTheTagAndPaintsAllOfIt)
{
    TestFb big(1024, 768, 32);
    auto big_tag = tag_for(big);
    demo_graphics(&big_tag);
    TestFb small(320, 200, 24, 1000);  // the same memory, now smaller and padded
    auto small_tag = tag_for(small);
    demo_graphics(&small_tag);
    EXPECT_TRUE(picture_is_test_pattern(small));
    small.clear(0x5A);  // a redraw starts from its own black background
    demo_graphics(&small_tag);
    EXPECT_TRUE(picture_is_test_pattern(small));
}

TEST(Pattern, PutPixelAndFillRectAreCutAtEveryEdge)
{
    TestFb fb(320, 200, 24, 320 * 3 + 4);
    auto tag = tag_for(fb);
    demo_graphics(&tag);  // takes up the framebuffer
    fb.clear(FB_CANARY);

    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {320, 0}, {0, 200}, {INT32_MIN, 5}, {5, INT32_MAX}})
        put_pixel(x, y, 0xFFFFFF);
    for (int empty : {0, -1, INT32_MIN}) {
        fill_rect(10, 10, empty, 10, 0xFFFFFF);
        fill_rect(10, 10, 10, empty, 0xFFFFFF);
    }
    fill_rect(-1000, -1000, 500, 500, 0xFFFFFF);                      // above and to the left
    fill_rect(320, 0, 100, 100, 0xFFFFFF);                            // to the right
    fill_rect(0, 200, 100, 100, 0xFFFFFF);                            // below
    fill_rect(2147483000, 2147483000, INT32_MAX, 2000, 0xFFFFFF);     // x + w past the int range
    fill_rect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0xFFFFFF);  // ends just before 0
    EXPECT_EQ(fb.written_pixels(), 0u);

    put_pixel(0, 0, 0x010203);
    put_pixel(319, 199, 0x040506);
    fill_rect(-5, 10, 10, 1, 0x123456);    // across the left edge: 5 pixels
    fill_rect(318, 20, 10, 1, 0x123456);   // the right edge: 2
    fill_rect(100, 198, 1, 10, 0x123456);  // the bottom edge: 2
    fill_rect(50, -3, 1, 5, 0x123456);     // the top edge: 2
    EXPECT_EQ(fb.written_pixels(), 2u + 5u + 2u + 2u + 2u);
    for (auto [x, y, colour] : {std::tuple{0, 0, 0x010203u}, {319, 199, 0x040506u}, {0, 10, 0x123456u},
                                {4, 10, 0x123456u}, {319, 20, 0x123456u}, {100, 199, 0x123456u}, {50, 1, 0x123456u}})
        EXPECT_EQ(fb.px(x, y), colour) << x << ", " << y;

    fill_rect(-100000, -100000, INT32_MAX, INT32_MAX, 0x0A0B0C);  // covers it all
    EXPECT_EQ(fb.written_pixels(), 320u * 200u);
    std::string where;
    EXPECT_TRUE(fb.guards_intact(&where)) << where;
}

TEST(Pattern, OverlayWritesItsFourRowsWhereverTheCursorWas)
{
    reset_text();
    auto tag = make_tag(0x1E0000000ull, 2400, 800, 600, 24);  // above 4 GiB: the low half is shown
    vga_y = 30;
    vga_x = 50;
    show_graphics_text_overlay(&tag);
    show_graphics_text_overlay(&tag);  // the same cells again
    // Paging maps it: the status row says so.
    EXPECT_TRUE(screen_is(overlay(tag, Screen(UNTOUCHED)).put(1, 18, "- above 4 GiB, through PAE paging", 0x0A)));
}

}  // namespace
