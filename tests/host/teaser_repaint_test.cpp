// Full repaints band by band: the bands cover the clip window once, from
// the top; the dot grid visits only what meets the window; and every screen,
// in bands from any row or within one band, is the picture painted row by row.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "../../teaser/desktop.h"
#include "../../teaser/draw.h"
#include "../../teaser/features.h"
#include "../../teaser/input.h"
#include "../../teaser/splash.h"
#include "../../teaser/termdraw.h"
#include "../../teaser/terminal.h"
#include "support/fbmem.h"
#include "support/sim8042.h"

namespace {

std::vector<draw_area> bands_seen;

void record_band()
{
    bands_seen.push_back(draw_clip());
    draw_reset_clip();  // a painter may move the window; the next band is set afresh
}

TEST(Bands, CoverTheWindowOnceFromTheTopAndRestoreIt)
{
    struct Case {
        int32_t x, y, w, h;  // the window; w 0 means none
        std::vector<int64_t> tops;
        int64_t x0, x1, y1;
    };
    const Case cases[] = {
        {0, 0, 0, 0, {0, 16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192}, 0, 320, 200},
        {5, 7, 100, 50, {7, 23, 39, 55}, 5, 105, 57},
        {-20, 190, 400, 100, {190}, 0, 320, 200},  // cut to the screen
        {0, 50, 320, 0, {}, 0, 0, 0},              // an empty window: no band at all
    };
    for (const Case& c : cases) {
        TestFb fb(320, 200);
        if (c.w || c.h) draw_set_clip(c.x, c.y, c.w, c.h);
        const draw_area before = draw_clip();
        bands_seen.clear();
        draw_bands(record_band);
        ASSERT_EQ(bands_seen.size(), c.tops.size()) << c.y;
        for (size_t i = 0; i < c.tops.size(); ++i) {
            EXPECT_EQ(bands_seen[i].y0, c.tops[i]);
            EXPECT_EQ(bands_seen[i].y1, i + 1 < c.tops.size() ? c.tops[i + 1] : c.y1);
            EXPECT_EQ(bands_seen[i].x0, c.x0);
            EXPECT_EQ(bands_seen[i].x1, c.x1);
        }
        const draw_area after = draw_clip();
        EXPECT_TRUE(after.x0 == before.x0 && after.y0 == before.y0 && after.x1 == before.x1 && after.y1 == before.y1);
        draw_reset_clip();
    }
}

TEST(Dots, OnlyTheDotsMeetingTheWindowAreDrawn)
{
    TestFb fb(321, 203);
    fb.clear(0);
    draw_dots(0xFFFFFF);
    const std::vector<uint32_t> grid = fb.snapshot();
    // Windows starting on, just past and just before a dot's rows and columns.
    const int32_t windows[][4] = {{0, 0, 321, 203}, {1, 1, 40, 40}, {2, 2, 30, 30}, {31, 33, 3, 3},
                                  {33, 31, 64, 1}, {300, 190, 100, 100}, {-5, -5, 6, 6}, {40, 40, 0, 9}};
    for (const auto& w : windows) {
        fb.clear(0);
        draw_set_clip(w[0], w[1], w[2], w[3]);
        draw_dots(0xFFFFFF);
        draw_reset_clip();
        const std::vector<uint32_t> got = fb.snapshot();
        for (int y = 0; y < 203; ++y)
            for (int x = 0; x < 321; ++x) {
                const bool inside = x >= w[0] && x < w[0] + w[2] && y >= w[1] && y < w[1] + w[3];
                ASSERT_EQ(got[size_t(y) * 321 + x], inside ? grid[size_t(y) * 321 + x] : 0u)
                    << "window at " << w[0] << "," << w[1] << " pixel " << x << "," << y;
            }
    }
}

term_input term;
desktop_icon icons[DESKTOP_ICONS];

// Each full repaint, with the state its screen needs already set up.
const std::pair<const char*, std::function<void()>> screens[] = {
    {"splash", [] { draw_splash(); }},
    {"desktop", [] { desktop_draw(icons, 2, 0, 1); }},
    {"features", [] { features_draw(); }},
    {"terminal", [] { term_full_redraw(term.text, term.len); }},
};

// The reference for the banded paintings below: the screen painted one row
// at a time. A shape that a band's edge cuts wrongly then differs between
// it and the bands from some offset, whichever of the two is wrong.
std::vector<uint32_t> row_by_row(TestFb& fb, const std::function<void()>& paint)
{
    fb.clear(FB_CANARY);
    for (int32_t y = 0; y < int32_t(fb.height); ++y) {
        draw_set_clip(0, y, int32_t(fb.width), 1);
        paint();
    }
    draw_reset_clip();
    return fb.snapshot();
}

// Painted in bands from any offset, each screen is that picture; and a
// screen painted within one band changes that band alone.
TEST(Bands, EachScreenInBandsFromAnyOffsetIsThePictureRowByRow)
{
    for (uint32_t bpp : {32u, 24u}) {
        TestFb fb(640, 480, bpp);
        sim_reset();
        term_open(&term);
        term_run_line("help");
        const char typed[] = "abc";
        for (const char* c = typed; *c; ++c) term_key(&term, *c);
        desktop_icons_init(icons);
        mouse_x = 280;  // the pointer over the ring of FEATURES, pressed
        mouse_y = 170;
        for (const auto& [name, paint] : screens) {
            const std::vector<uint32_t> finished = row_by_row(fb, paint);
            for (int32_t first : {0, 3, 8, 13}) {  // the height of the first band
                fb.clear(FB_CANARY);
                draw_set_clip(0, 0, 640, first);
                paint();
                draw_set_clip(0, first, 640, 480 - first);
                paint();
                draw_reset_clip();
                const std::vector<uint32_t> got = fb.snapshot();
                const size_t at = size_t(std::mismatch(got.begin(), got.end(), finished.begin()).first - got.begin());
                EXPECT_EQ(at, got.size()) << name << " at " << bpp << " bits, bands from row " << first
                                          << ": pixel " << at % 640 << "," << at / 640 << " differs";
            }
            for (int32_t top = -8; top < 480; top += 24) {  // bands of every alignment, and one half off the top
                fb.clear(FB_CANARY);
                draw_set_clip(0, top, 640, DRAW_BAND);
                paint();
                draw_reset_clip();
                for (int y = 0; y < 480; ++y) {
                    const bool inside = y >= top && y < top + DRAW_BAND;
                    for (int x = 0; x < 640; ++x) {
                        if (inside) {
                            ASSERT_EQ(fb.px(x, y), finished[size_t(y) * 640 + x])
                                << name << " at " << bpp << " bits, band at " << top << ": pixel " << x << "," << y;
                        } else {
                            ASSERT_FALSE(fb.written(x, y))
                                << name << " at " << bpp << " bits, band at " << top << ": pixel " << x << "," << y;
                        }
                    }
                }
            }
            EXPECT_TRUE(fb.guards_intact()) << name;
        }
    }
}

}  // namespace
