// The feature grid: header, the four framed panels and their items, footer,
// geometry at two screen sizes, and the wait for ESC.
#include <gtest/gtest.h>

#include "../../teaser/draw.h"
#include "../../teaser/features.h"
#include "../../teaser/input.h"
#include "support/fbmem.h"
#include "support/sim8042.h"

namespace {

constexpr uint32_t HEADER = 0x001A2A, RULE = 0x003355, BAR = 0x001020, FOOTER = 0x000D1A;
constexpr uint32_t ITEM = 0x00AABB;
constexpr uint32_t COLOURS[4] = {0x00CCFF, 0x00FF88, 0xFFCC00, 0xFF8800};

// Checks one panel's frame, title bar, underline, title, bullets and first
// item column against the grid's layout for origin (x0, y0).
void check_panel(const TestFb& fb, int p, int x0, int y0, int hw, int hh)
{
    const uint32_t c = COLOURS[p];
    const int fx = x0 + 10, fy = y0 + 46, fw = hw - 20, fh = hh - 8;
    SCOPED_TRACE(p);
    // Frame: the four corners and the middle of each edge.
    for (auto [x, y] : {std::pair{fx, fy}, {fx + fw - 1, fy}, {fx, fy + fh - 1}, {fx + fw - 1, fy + fh - 1},
                        {fx + fw / 2, fy + fh - 1}, {fx, fy + fh / 2}, {fx + fw - 1, fy + fh / 2}})
        EXPECT_EQ(fb.px(x, y), c) << x << "," << y;
    // Just outside the frame is black; just inside, below the items, too.
    EXPECT_EQ(fb.px(fx - 1, fy + fh / 2), 0u);
    EXPECT_EQ(fb.px(fx + fw, fy + fh / 2), 0u);
    EXPECT_EQ(fb.px(fx + 1, fy + fh - 2), 0u);
    // Title bar rows y0+47..y0+64 and underline row y0+65, columns x0+11..x0+hw-12.
    for (int y = y0 + 47; y <= y0 + 64; ++y) {
        EXPECT_EQ(fb.px(x0 + 11, y), BAR) << y;
        EXPECT_EQ(fb.px(x0 + hw - 12, y), BAR) << y;
        EXPECT_EQ(fb.px(x0 + hw - 11, y), c) << y;  // the frame's right edge
    }
    EXPECT_EQ(fb.px(x0 + 11, y0 + 65), c);
    EXPECT_EQ(fb.px(x0 + hw - 12, y0 + 65), c);
    EXPECT_EQ(fb.px(x0 + 11, y0 + 66), 0u);
    // Title from (x0+18, y0+52): every title starts with a letter whose first
    // column is lit on row 3 ('C', 'S', 'G' and 'A' all are).
    EXPECT_EQ(fb.px(x0 + 18, y0 + 54), c);
    EXPECT_EQ(fb.px(x0 + 17, y0 + 54), BAR);
    // Bullets "> ": a small plus centred on column 1, row 3 of the cell.
    for (int k = 0; k < 5; ++k) {
        const int y = y0 + 72 + 14 * k;
        EXPECT_EQ(fb.px(x0 + 19, y + 2), c) << k;
        EXPECT_EQ(fb.px(x0 + 19, y + 4), c) << k;
        EXPECT_EQ(fb.px(x0 + 18, y + 3), c) << k;
        EXPECT_EQ(fb.px(x0 + 20, y + 3), c) << k;
        EXPECT_EQ(fb.px(x0 + 19, y + 1), 0u) << k;
        // The item text starts at x0+32, two pixels after the bullet's second cell.
        EXPECT_EQ(fb.px(x0 + 30, y + 3), 0u) << k;
        EXPECT_EQ(fb.px(x0 + 31, y + 3), 0u) << k;
    }
    // The first item's first letter at (x0+32, y0+72).
    bool lit = false;
    for (int r = 0; r < 7; ++r) lit |= fb.px(x0 + 32, y0 + 72 + r) == ITEM;
    EXPECT_TRUE(lit);
}

void check_grid(const TestFb& fb)
{
    const int w = int(fb.width), h = int(fb.height);
    const int hw = w / 2, hh = (h - 80) / 2;
    for (int x : {0, w / 2, w - 1}) {
        EXPECT_EQ(fb.px(x, 0), HEADER);
        EXPECT_EQ(fb.px(x, 35), HEADER);
        EXPECT_EQ(fb.px(x, 36), RULE);
        EXPECT_EQ(fb.px(x, 37), 0u);
        EXPECT_EQ(fb.px(x, h - 29), 0u);
        EXPECT_EQ(fb.px(x, h - 28), FOOTER);
        EXPECT_EQ(fb.px(x, h - 1), FOOTER);
    }
    for (int p = 0; p < 4; ++p) check_panel(fb, p, (p & 1) ? hw : 0, p >= 2 ? hh : 0, hw, hh);
    EXPECT_TRUE(fb.guards_intact());
    EXPECT_EQ(fb.written_pixels(), uint64_t(w) * uint64_t(h));
}

TEST(Features, TableHoldsTheFourPanelsInGridOrder)
{
    EXPECT_STREQ(feature_table[0].title, "Core OS");
    EXPECT_STREQ(feature_table[1].title, "Shell and FS");
    EXPECT_STREQ(feature_table[2].title, "Graphics UI");
    EXPECT_STREQ(feature_table[3].title, "Apps");
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(feature_table[p].colour, COLOURS[p]);
        for (int k = 0; k < 5; ++k) EXPECT_NE(feature_table[p].items[k], nullptr);
    }
    EXPECT_STREQ(feature_table[0].items[0], "Multiboot2 bare-metal kernel");
    EXPECT_STREQ(feature_table[3].items[4], "ZOLTDOS compatibility layer");
}

TEST(Features, GeometryAt1024x768)
{
    TestFb fb(1024, 768);
    features_draw();
    check_grid(fb);
    // The frames at 1024 x 768: (10,46), (522,46), (10,390), (522,390), 492 x 336.
    EXPECT_EQ(fb.px(10, 46), COLOURS[0]);
    EXPECT_EQ(fb.px(522, 46), COLOURS[1]);
    EXPECT_EQ(fb.px(10, 390), COLOURS[2]);
    EXPECT_EQ(fb.px(522, 390), COLOURS[3]);
    EXPECT_EQ(fb.px(522 + 491, 390 + 335), COLOURS[3]);
    EXPECT_EQ(fb.px(522 + 492, 390 + 335), 0u);
    EXPECT_EQ(fb.px(522 + 491, 390 + 336), 0u);
    EXPECT_EQ(fb.px(0, 739), 0u);
    EXPECT_EQ(fb.px(0, 740), FOOTER);
    // Header title: 29 characters at scale 2 start at (1024 - 348) / 2 = 338;
    // the 'O' has its first column lit from row 1 (2 pixels at scale 2).
    EXPECT_EQ(fb.px(338, 10), 0x00EEFFu);
    EXPECT_EQ(fb.px(338, 8), HEADER);
    EXPECT_EQ(fb.px(337, 10), HEADER);
    // "ESC - Back" from (1024 - 60) / 2 = 482 on row 748: 'E' is a full column.
    EXPECT_EQ(fb.px(482, 748), 0x004488u);
    EXPECT_EQ(fb.px(482, 754), 0x004488u);
    EXPECT_EQ(fb.px(481, 748), FOOTER);
}

TEST(Features, GeometryAt640x480)
{
    TestFb fb(640, 480, 24);
    features_draw();
    check_grid(fb);
    // Frames 300 x 192, the bottom panels from y = 246.
    EXPECT_EQ(fb.px(10, 246), COLOURS[2]);
    EXPECT_EQ(fb.px(309, 246), COLOURS[2]);
    EXPECT_EQ(fb.px(310, 246), 0u);
    EXPECT_EQ(fb.px(10, 437), COLOURS[2]);
    EXPECT_EQ(fb.px(10, 438), 0u);
    EXPECT_EQ(fb.px(330, 46), COLOURS[1]);
    EXPECT_EQ(fb.px(629, 237), COLOURS[1]);
}

TEST(Features, SmallScreenIsClippedWithoutStrayWrites)
{
    TestFb fb(320, 200, 24, 320 * 3 + 7);
    features_draw();
    EXPECT_TRUE(fb.guards_intact());
    EXPECT_EQ(fb.written_pixels(), 320u * 200u);
    EXPECT_EQ(fb.px(10, 46), COLOURS[0]);
    EXPECT_EQ(fb.px(170, 46), COLOURS[1]);
}

TEST(Features, OtherKeysAndTheMouseChangeNothingAndKeepItWaiting)
{
    TestFb fb(800, 600);
    features_draw();
    const auto picture = fb.snapshot();
    fb.clear(FB_CANARY);

    sim_reset();
    sim_tap(0x1C);                            // Enter
    sim_tap(0x39);                            // Space
    sim_tap(0x1E);                            // a
    sim_keys({0xE0, 0x4B, 0xE0, 0xCB});       // left arrow
    sim_keys({0x3B, 0xBB});                   // F1
    sim_mouse({0x09, 0x10, 0x10});            // a click and a move
    sim_keys({0x81});                         // an ESC release is no ESC press
    EXPECT_THROW(show_features(), SimExhausted);
    EXPECT_TRUE(sim.out.empty());

    // It drew the grid once on entry and nothing after it.
    EXPECT_EQ(fb.snapshot(), picture);
}

TEST(Features, EscReturnsAtOnce)
{
    TestFb fb(800, 600);
    sim_reset();
    sim_tap(0x1E);
    sim_tap(0x01);
    sim_tap(0x14);  // left for whoever reads next
    show_features();
    EXPECT_EQ(last_sc, 0x01);
    // It stopped right after the ESC make code: its release and the T remain.
    ASSERT_EQ(sim.out.size(), 3u);
    EXPECT_EQ(sim.out.front().value, 0x81);
}

}  // namespace
