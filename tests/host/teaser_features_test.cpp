// The feature grid: header, the four framed panels and their items, footer,
// geometry at two screen sizes, clipping, and the wait for ESC.
#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <utility>
#include <vector>

#include "../../teaser/draw.h"
#include "../../teaser/features.h"
#include "../../teaser/input.h"
#include "support/fbmem.h"
#include "support/sim8042.h"

namespace {

constexpr uint32_t HEADER = 0x001A2A, RULE = 0x003355, BAR = 0x001020, FOOTER = 0x000D1A, ITEM = 0x00AABB;
constexpr uint32_t COLOURS[4] = {0x00CCFF, 0x00FF88, 0xFFCC00, 0xFF8800};

using Pin = std::tuple<int, int, uint32_t>;  // x, y and the colour there

// The header, the footer and the four panels of the grid drawn in `fb`: each
// panel's frame, title bar, underline, title, bullets and first item.
void check_grid(const TestFb& fb)
{
    const int w = int(fb.width), h = int(fb.height), hw = w / 2, hh = (h - 80) / 2;
    std::vector<Pin> pins;
    for (int x : {0, w / 2, w - 1})
        pins.insert(pins.end(), {{x, 0, HEADER}, {x, 35, HEADER}, {x, 36, RULE}, {x, 37, 0}, {x, h - 29, 0},
                                 {x, h - 28, FOOTER}, {x, h - 1, FOOTER}});
    for (int p = 0; p < 4; ++p) {
        const uint32_t c = COLOURS[p];
        const int x0 = (p & 1) ? hw : 0, y0 = p >= 2 ? hh : 0, fx = x0 + 10, fy = y0 + 46, fw = hw - 20, fh = hh - 8;
        pins.insert(pins.end(), {
            // The frame's corners and the middle of each edge; black just outside it, and inside below the items.
            {fx, fy, c}, {fx + fw - 1, fy, c}, {fx, fy + fh - 1, c}, {fx + fw - 1, fy + fh - 1, c},
            {fx + fw / 2, fy + fh - 1, c}, {fx, fy + fh / 2, c}, {fx + fw - 1, fy + fh / 2, c},
            {fx - 1, fy + fh / 2, 0}, {fx + fw, fy + fh / 2, 0}, {fx + fw, fy, 0}, {fx + fw - 1, fy + fh, 0},
            {fx + 1, fy + fh - 2, 0},
            // The underline on row y0 + 65 from x0 + 11 to x0 + hw - 12, black under it.
            {x0 + 11, y0 + 65, c}, {x0 + hw - 12, y0 + 65, c}, {x0 + 11, y0 + 66, 0},
            // The title from (x0 + 18, y0 + 52) and the first item from (x0 + 32, y0 + 72): 'C', 'S', 'G' and
            // 'A' have their first column lit on row 2, 'M', 'P', 'W' and 'Z' their top left pixel.
            {x0 + 18, y0 + 54, c}, {x0 + 17, y0 + 54, BAR}, {x0 + 32, y0 + 72, ITEM},
        });
        for (int y = y0 + 47; y <= y0 + 64; ++y)  // the title bar, up to the frame's right edge
            pins.insert(pins.end(), {{x0 + 11, y, BAR}, {x0 + hw - 12, y, BAR}, {x0 + hw - 11, y, c}});
        for (int y = y0 + 72; y < y0 + 72 + 5 * 14; y += 14)  // bullets "> ": a plus around column 1, row 3
            pins.insert(pins.end(), {{x0 + 19, y + 2, c}, {x0 + 19, y + 4, c}, {x0 + 18, y + 3, c}, {x0 + 20, y + 3, c},
                                     {x0 + 19, y + 1, 0}, {x0 + 30, y + 3, 0}, {x0 + 31, y + 3, 0}});
    }
    for (auto [x, y, colour] : pins) EXPECT_EQ(fb.px(x, y), colour) << x << "," << y;
    EXPECT_TRUE(fb.guards_intact());
    EXPECT_EQ(fb.written_pixels(), uint64_t(w) * uint64_t(h));
}

TEST(Features, TableHoldsTheFourPanelsInGridOrder)
{
    const char* titles[] = {"Core OS", "Shell and FS", "Graphics UI", "Apps"};
    for (int p = 0; p < 4; ++p) {
        EXPECT_STREQ(feature_table[p].title, titles[p]);
        EXPECT_EQ(feature_table[p].colour, COLOURS[p]);
        for (const char* item : feature_table[p].items) EXPECT_NE(item, nullptr);
    }
    EXPECT_STREQ(feature_table[0].items[0], "Multiboot2 bare-metal kernel");
    EXPECT_STREQ(feature_table[3].items[4], "ZOLTDOS compatibility layer");
}

TEST(Features, GeometryAt640x480And1024x768AndClippingAt320x200)
{
    {
        TestFb fb(640, 480, 24);  // frames of 300 x 192, the bottom ones from row 246
        features_draw();
        check_grid(fb);
    }
    {
        TestFb fb(320, 200, 24, 320 * 3 + 7);  // nothing written past the screen or into a row's padding
        features_draw();
        EXPECT_TRUE(fb.guards_intact());
        EXPECT_EQ(fb.written_pixels(), 320u * 200u);
        EXPECT_EQ((std::array{fb.px(10, 46), fb.px(170, 46)}), (std::array{COLOURS[0], COLOURS[1]}));
    }
    TestFb fb(1024, 768);  // frames of 492 x 336 from (10, 46), (522, 46), (10, 390) and (522, 390)
    features_draw();
    check_grid(fb);
    // The header title, 29 characters at scale 2, from (338, 8): its 'O' is lit
    // from row 1. "ESC - Back" from (482, 748): its 'E' is a full column.
    for (auto [x, y, colour] : {Pin{338, 10, 0x00EEFF}, {338, 8, HEADER}, {337, 10, HEADER}, {482, 748, 0x004488},
                                {482, 754, 0x004488}, {481, 748, FOOTER}})
        EXPECT_EQ(fb.px(x, y), colour) << x << "," << y;
}

// The grid is drawn once on entry; then only an ESC press leaves. Other
// keys, the mouse and an ESC release draw nothing and keep it waiting, and
// what follows the ESC is left for whoever reads next.
TEST(Features, OnlyEscLeavesAndNothingIsDrawnAfterEntry)
{
    TestFb fb(800, 600);
    features_draw();
    const auto picture = fb.snapshot();
    fb.clear(FB_CANARY);
    sim_reset();
    sim_keys({0x1C, 0x9C, 0x39, 0xB9, 0x1E, 0x9E, 0xE0, 0x4B, 0xE0, 0xCB, 0x3B, 0xBB});  // Enter, Space, a, left, F1
    sim_mouse({0x09, 0x10, 0x10});                                                     // a click and a move
    sim_keys({0x81, 0x01, 0x81, 0x14, 0x94});  // an ESC release, then ESC and T
    sim.on_poll = [&, first = true]() mutable {
        if (!std::exchange(first, false)) return;
        EXPECT_EQ(fb.snapshot(), picture);
        fb.clear(FB_CANARY);
    };
    show_features();
    sim.on_poll = nullptr;
    EXPECT_EQ(fb.written_pixels(), 0u);
    EXPECT_EQ(last_sc, 0x01);
    ASSERT_EQ(sim.out.size(), 3u);  // the ESC release and T
    EXPECT_EQ(sim.out.front().value, 0x81);
}

}  // namespace
