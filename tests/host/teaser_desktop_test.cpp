// The desktop: icon layout and hit test, the three looks of an icon, the
// loop's keys and clicks, and the local repaint of pointer moves, checked
// pixel for pixel against a full desktop_draw of the same state.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "../../teaser/desktop.h"
#include "../../teaser/draw.h"
#include "../../teaser/input.h"
#include "../../teaser/splash.h"
#include "support/fbmem.h"
#include "support/sim8042.h"

namespace {

constexpr uint32_t DOT = 0x001214, TOP_BAR = 0x001520, TOP_LINE = 0x003355, BOTTOM_BAR = 0x000D1A;
constexpr uint32_t BODY = 0x000810, RING = 0x001A2A, FRAME = 0x00FFFF, LABEL = 0x00CCFF;
constexpr uint32_t FACE = 0x00EEFF, FACE_PRESSED = 0xFFCC00;

void mouse_at_centre(uint32_t w, uint32_t h)
{
    mouse_max_x = int32_t(w) - 1;
    mouse_max_y = int32_t(h) - 1;
    mouse_x = int32_t(w / 2);
    mouse_y = int32_t(h / 2);
    mouse_btn = 0;
    mouse_cycle = 0;
}

// Packets moving the pointer by (dx, dy) on the screen (y down), at most
// 127 counts each way per packet; a move of (0, 0) is one packet.
void packet(int dx, int dy, bool button)
{
    do {
        const int sx = dx > 127 ? 127 : dx < -127 ? -127 : dx;
        const int sy = dy > 127 ? 127 : dy < -127 ? -127 : dy;
        sim_mouse({uint8_t(0x08 | (button ? 1 : 0)), uint8_t(int8_t(sx)), uint8_t(int8_t(-sy))});
        dx -= sx;
        dy -= sy;
    } while (dx || dy);
}

void left_arrow() { sim_keys({0xE0, 0x4B, 0xE0, 0xCB}); }
void right_arrow() { sim_keys({0xE0, 0x4D, 0xE0, 0xCD}); }

// What the opened screens would do, recorded instead: the index, and the
// screen at the moment of opening; then it scribbles over the screen as a
// nested screen would.
std::vector<int32_t> opened;
std::vector<uint32_t> screen_at_open;
const TestFb* open_fb = nullptr;
void record_open(int32_t index)
{
    opened.push_back(index);
    if (open_fb) screen_at_open = open_fb->snapshot();
    rect(0, 0, int32_t(FB_W), int32_t(FB_H), 0x5A5A5A);
}

struct Desk {
    TestFb& fb;
    desktop_state s{};

    explicit Desk(TestFb& f, bool hook = true) : fb(f)
    {
        sim_reset();
        mouse_at_centre(fb.width, fb.height);
        last_sc = 0;
        opened.clear();
        screen_at_open.clear();
        open_fb = &fb;
        desktop_enter(s);
        if (hook) s.open = record_open;
    }

    // Passes until the script is used up, then one more so that the last
    // packet's hover and button are seen.
    void pump()
    {
        while (!sim.out.empty()) step();
        step();
    }
    int step() { return desktop_step(s); }

    // Canary-fills the screen to see what the next passes write; restore()
    // then puts the old picture back wherever nothing was written.
    std::vector<uint8_t> saved;
    void canary()
    {
        saved.assign(fb.base, fb.base + size_t(fb.pitch) * fb.height);
        fb.clear(FB_CANARY);
    }
    void restore()
    {
        for (uint32_t y = 0; y < fb.height; ++y)
            for (uint32_t x = 0; x < fb.width; ++x)
                if (!fb.written(int(x), int(y))) {
                    const size_t at = size_t(y) * fb.pitch + size_t(x) * fb.bytes_pp();
                    std::memcpy(fb.base + at, saved.data() + at, fb.bytes_pp());
                }
    }

    // The same framebuffer geometry, further up the mapped window.
    uint8_t* ref_base() const { return fb.base + size_t(fb.pitch) * fb.height + 2 * FB_TEST_GUARD; }

    // The screen a full desktop_draw of the shown state paints, compared
    // byte for byte; a failure names the first pixel that differs.
    testing::AssertionResult matches_full_draw() const
    {
        const uint64_t saved_addr = FB_ADDR;
        const int32_t mx = mouse_x, my = mouse_y;
        FB_ADDR = reinterpret_cast<uintptr_t>(ref_base());
        mouse_x = s.drawn_x;
        mouse_y = s.drawn_y;
        desktop_draw(s.icons, s.selection, s.shown_hover, s.prev_button);
        FB_ADDR = saved_addr;
        mouse_x = mx;
        mouse_y = my;
        const size_t row = size_t(fb.width) * fb.bytes_pp();
        for (uint32_t y = 0; y < fb.height; ++y) {
            const uint8_t* a = fb.base + size_t(y) * fb.pitch;
            const uint8_t* b = ref_base() + size_t(y) * fb.pitch;
            if (std::memcmp(a, b, row) != 0) {
                size_t i = 0;
                while (a[i] == b[i]) ++i;
                const int x = int(i / fb.bytes_pp());
                return testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << std::hex << fb.px(x, int(y)) << ", a full redraw gives "
                       << (uint32_t(b[x * fb.bytes_pp()]) | uint32_t(b[x * fb.bytes_pp() + 1]) << 8 |
                           uint32_t(b[x * fb.bytes_pp() + 2]) << 16)
                       << std::dec << "; pointer drawn at " << s.drawn_x << "," << s.drawn_y;
            }
        }
        return testing::AssertionSuccess();
    }
};

TEST(DesktopLayout, IconsAt800x600And320x200)
{
    TestFb fb(800, 600);
    desktop_icon icons[3];
    desktop_icons_init(icons);
    const char* labels[] = {"SHELL", "FEATURES", "REBOOT"};
    const uint32_t colours[] = {0x00CCFF, 0xFFCC00, 0xFF6644};
    const int xs[] = {150, 330, 510};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(icons[i].x, xs[i]);
        EXPECT_EQ(icons[i].y, 235);
        EXPECT_EQ(icons[i].w, 140);
        EXPECT_EQ(icons[i].h, 110);
        EXPECT_STREQ(icons[i].label, labels[i]);
        EXPECT_EQ(icons[i].colour, colours[i]);
    }
    TestFb small(320, 200);
    desktop_icons_init(icons);
    EXPECT_EQ(icons[0].x, -90);
    EXPECT_EQ(icons[2].x + icons[2].w - 1, 409);
    EXPECT_EQ(icons[0].y, 35);
}

TEST(DesktopLayout, HitTestUsesTheRectanglesOnly)
{
    TestFb fb(800, 600);
    desktop_icon icons[3];
    desktop_icons_init(icons);
    EXPECT_EQ(desktop_hit(icons, 150, 235), 0);
    EXPECT_EQ(desktop_hit(icons, 289, 344), 0);
    EXPECT_EQ(desktop_hit(icons, 290, 300), -1);
    EXPECT_EQ(desktop_hit(icons, 149, 300), -1);
    EXPECT_EQ(desktop_hit(icons, 200, 234), -1);
    EXPECT_EQ(desktop_hit(icons, 200, 345), -1);
    EXPECT_EQ(desktop_hit(icons, 147, 232), -1);  // on the selection frame: not the icon
    EXPECT_EQ(desktop_hit(icons, 400, 300), 1);
    EXPECT_EQ(desktop_hit(icons, 330, 235), 1);
    EXPECT_EQ(desktop_hit(icons, 649, 344), 2);
    EXPECT_EQ(desktop_hit(icons, 650, 344), -1);
    EXPECT_EQ(desktop_hit(icons, -5, -5), -1);
    // Overlapping records: the first by index wins.
    desktop_icon same[3] = {icons[1], icons[1], icons[1]};
    EXPECT_EQ(desktop_hit(same, 400, 300), 0);
}

TEST(DesktopDraw, FirstScreenAt800x600)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    EXPECT_EQ(fb.written_pixels(), 800u * 600u);
    EXPECT_TRUE(fb.guards_intact());
    // Background, bars and line.
    EXPECT_EQ(fb.px(0, 0), TOP_BAR);
    EXPECT_EQ(fb.px(799, 33), TOP_BAR);
    EXPECT_EQ(fb.px(0, 34), TOP_LINE);
    EXPECT_EQ(fb.px(0, 35), 0u);
    EXPECT_EQ(fb.px(64, 64), DOT);
    EXPECT_EQ(fb.px(65, 65), DOT);
    EXPECT_EQ(fb.px(66, 64), 0u);
    EXPECT_EQ(fb.px(0, 571), 0u);
    EXPECT_EQ(fb.px(0, 572), BOTTOM_BAR);
    EXPECT_EQ(fb.px(799, 599), BOTTOM_BAR);
    // "ORVELIX" at (8, 8), scale 2: the O's first column is lit from row 1.
    EXPECT_EQ(fb.px(8, 10), 0x00CCCCu);
    EXPECT_EQ(fb.px(8, 8), TOP_BAR);
    // The top help (70 characters) from (800 - 420) / 2 = 190, row 12: 'D' is a full column.
    EXPECT_EQ(fb.px(190, 12), 0x004488u);
    EXPECT_EQ(fb.px(190, 18), 0x004488u);
    EXPECT_EQ(fb.px(189, 12), TOP_BAR);
    // The bottom help (54 characters) from (800 - 324) / 2 = 238, row 580: 'A' column 0 is rows 1..6.
    EXPECT_EQ(fb.px(238, 581), 0x004488u);
    EXPECT_EQ(fb.px(238, 580), BOTTOM_BAR);
    EXPECT_EQ(fb.px(237, 581), BOTTOM_BAR);

    // SHELL selected: ring, cyan frame, border, body.
    EXPECT_EQ(fb.px(144, 229), RING);
    EXPECT_EQ(fb.px(146, 231), RING);
    EXPECT_EQ(fb.px(147, 232), FRAME);
    EXPECT_EQ(fb.px(292, 347), FRAME);
    EXPECT_EQ(fb.px(148, 233), RING);
    EXPECT_EQ(fb.px(150, 235), 0x00CCFFu);
    EXPECT_EQ(fb.px(151, 236), BODY);
    EXPECT_EQ(fb.px(143, 229), 0u);
    // FEATURES hovered: ring only.
    EXPECT_EQ(fb.px(324, 229), RING);
    EXPECT_EQ(fb.px(327, 232), RING);
    EXPECT_EQ(fb.px(330, 235), 0xFFCC00u);
    // REBOOT plain: background around it.
    EXPECT_EQ(fb.px(504, 229), 0u);
    EXPECT_EQ(fb.px(507, 232), 0u);
    EXPECT_EQ(fb.px(509, 300), 0u);
    EXPECT_EQ(fb.px(510, 235), 0xFF6644u);
    EXPECT_EQ(fb.px(511, 236), BODY);
    // SHELL's glyph: 40 x 40 from (200, 253), bars on rows 259..262, 267..270 and 275..278.
    EXPECT_EQ(fb.px(200, 253), 0x00CCFFu);
    EXPECT_EQ(fb.px(239, 292), 0x00CCFFu);
    EXPECT_EQ(fb.px(240, 292), BODY);
    EXPECT_EQ(fb.px(206, 259), BODY);
    EXPECT_EQ(fb.px(233, 270), BODY);
    EXPECT_EQ(fb.px(234, 270), 0x00CCFFu);
    EXPECT_EQ(fb.px(223, 275), BODY);
    EXPECT_EQ(fb.px(224, 275), 0x00CCFFu);
    EXPECT_EQ(fb.px(206, 263), 0x00CCFFu);
    // Its label "SHELL" from (205, 325): 'S' column 0 lit on rows 1, 2 and 6.
    EXPECT_EQ(fb.px(205, 326), LABEL);
    EXPECT_EQ(fb.px(205, 331), LABEL);
    EXPECT_EQ(fb.px(205, 328), BODY);
    // "FEATURES" from 330 + (140 - 48) / 2 = 376: 'F' column 0 is full.
    EXPECT_EQ(fb.px(376, 325), LABEL);
    EXPECT_EQ(fb.px(375, 325), BODY);
    // The pointer at the centre, not pressed.
    EXPECT_EQ(fb.px(400, 300), 0u);
    EXPECT_EQ(fb.px(401, 301), FACE);
    EXPECT_EQ(fb.px(404, 304), 0x001A1Au);
    EXPECT_EQ(fb.px(411, 311), 0u);
    EXPECT_EQ(d.s.selection, 0);
    EXPECT_EQ(d.s.shown_hover, 1);
}

TEST(DesktopDraw, PlainIconRepaintsItsBandOverTheBars)
{
    // At 320 x 200 the ring band reaches into the top bar and its line: a
    // plain icon drawn over a highlighted one gives the bar back.
    TestFb fb(320, 200, 24);
    mouse_at_centre(320, 200);
    mouse_x = 5;  // the pointer in the bottom bar, away from the icons
    mouse_y = 190;
    desktop_icon icons[3];
    desktop_icons_init(icons);
    desktop_draw(icons, 2, -1, 0);
    const auto plain = fb.snapshot();
    desktop_draw_icon(icons[1], 1, 1);
    EXPECT_EQ(fb.px(84, 29), RING);
    EXPECT_EQ(fb.px(86, 34), RING);
    EXPECT_EQ(fb.px(87, 32), FRAME);
    desktop_draw_icon(icons[1], 0, 0);
    EXPECT_EQ(fb.px(84, 29), TOP_BAR);
    EXPECT_EQ(fb.px(86, 34), TOP_LINE);
    EXPECT_EQ(fb.snapshot(), plain);
    EXPECT_TRUE(fb.guards_intact());
}

TEST(DesktopDraw, BackgroundRepaintWritesOnlyItsArea)
{
    TestFb fb(800, 600);
    mouse_at_centre(800, 600);
    desktop_icon icons[3];
    desktop_icons_init(icons);
    desktop_draw(icons, 0, -1, 0);
    const auto full = fb.snapshot();
    for (auto [x, y, w, h] : {std::array{180, 5, 14, 14}, {-7, -7, 14, 14}, {790, 590, 14, 14},
                              {60, 570, 40, 10}, {0, 0, 800, 600}, {30, 30, 5, 5}}) {
        fb.clear(FB_CANARY);
        desktop_background(x, y, w, h);
        for (int yy = 0; yy < 600; ++yy)
            for (int xx = 0; xx < 800; ++xx) {
                const bool inside = xx >= x && xx < x + w && yy >= y && yy < y + h;
                ASSERT_EQ(fb.written(xx, yy), inside) << xx << "," << yy;
                if (inside && !(xx >= 144 && xx < 656 && yy >= 229 && yy < 351)) {  // not the icons
                    ASSERT_EQ(fb.px(xx, yy), full[size_t(yy) * 800 + xx]) << xx << "," << yy;
                }
            }
    }
}

TEST(DesktopLoop, AnIdlePassDrawsNothing)
{
    TestFb fb(800, 600);
    Desk d(fb);
    sim.idle_limit = 40;
    d.step();
    fb.clear(FB_CANARY);
    EXPECT_THROW(for (;;) d.step(), SimExhausted);
    EXPECT_EQ(fb.written_pixels(), 0u);
}

TEST(DesktopLoop, ArrowsMoveTheSelectionWithoutWrapping)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    fb.clear(FB_CANARY);
    left_arrow();  // SHELL selected: nothing, and no redraw
    d.pump();
    EXPECT_EQ(d.s.selection, 0);
    EXPECT_EQ(d.s.redraw, 0);
    EXPECT_EQ(fb.written_pixels(), 0u);

    right_arrow();
    d.pump();
    EXPECT_EQ(d.s.selection, 1);
    EXPECT_TRUE(d.matches_full_draw());
    right_arrow();
    right_arrow();  // already at REBOOT
    d.pump();
    EXPECT_EQ(d.s.selection, 2);
    fb.clear(FB_CANARY);
    right_arrow();
    d.pump();
    EXPECT_EQ(d.s.selection, 2);
    EXPECT_EQ(fb.written_pixels(), 0u);
    left_arrow();
    d.pump();
    EXPECT_EQ(d.s.selection, 1);
    EXPECT_TRUE(d.matches_full_draw());
    EXPECT_TRUE(opened.empty());
}

TEST(DesktopLoop, EnterOpensTheSelectedIcon)
{
    TestFb fb(800, 600);
    Desk d(fb);
    sim_tap(0x1C);
    d.pump();
    right_arrow();
    right_arrow();
    sim_keys({0xE0, 0x1C, 0xE0, 0x9C});  // keypad Enter
    d.pump();
    EXPECT_EQ(opened, (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(d.s.selection, 2);
    d.step();
    EXPECT_TRUE(d.matches_full_draw());  // redrawn after the return
}

TEST(DesktopLoop, EnterOnFeaturesOpensTheGridAndEscComesBack)
{
    TestFb fb(800, 600);
    Desk d(fb, false);  // the real feature grid
    d.step();
    right_arrow();
    sim_tap(0x1C);
    sim_tap(0x39);  // Space on the grid: ignored
    sim_tap(0x01);  // ESC: back to the desktop
    while (sim.out.size() > 1) d.step();
    EXPECT_EQ(d.s.redraw, 1);
    EXPECT_EQ(fb.px(0, 0), 0x001A2Au);  // the grid's header band is on the screen
    d.step();                            // the full redraw, with FEATURES still selected
    EXPECT_EQ(d.s.selection, 1);
    EXPECT_EQ(d.s.redraw, 0);
    EXPECT_TRUE(d.matches_full_draw());
    EXPECT_EQ(fb.px(327, 232), FRAME);
    EXPECT_EQ(fb.px(147, 232), 0u);
}

TEST(DesktopLoop, EscShowsTheSplashAndAReentryStartsAfresh)
{
    TestFb fb(800, 600);
    sim_reset();
    mouse_at_centre(800, 600);
    right_arrow();
    right_arrow();
    sim_tap(0x01);
    desktop_run();
    EXPECT_EQ(last_sc, 0x01);
    const auto after = fb.snapshot();
    draw_splash();
    EXPECT_EQ(fb.snapshot(), after);

    // Space on the splash again: SHELL selected, the pointer's icon hovered.
    EXPECT_THROW(desktop_run(), SimExhausted);
    Desk d(fb);
    d.s.selection = 0;
    d.s.shown_hover = 1;
    d.s.drawn_x = 400;
    d.s.drawn_y = 300;
    d.s.prev_button = 0;
    EXPECT_TRUE(d.matches_full_draw());
}

TEST(DesktopLoop, ClickOpensTheIconUnderThePointerDrawnSelectedAndPressed)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    packet(180, 0, false);  // onto REBOOT
    packet(0, 0, true);     // press
    d.pump();
    ASSERT_EQ(opened, (std::vector<int32_t>{2}));
    EXPECT_EQ(d.s.selection, 2);
    // At the moment of opening: REBOOT selected and hovered, the pointer pressed.
    ASSERT_FALSE(screen_at_open.empty());
    EXPECT_EQ(screen_at_open[232 * 800 + 507], FRAME);
    EXPECT_EQ(screen_at_open[232 * 800 + 147], 0u);
    EXPECT_EQ(screen_at_open[301 * 800 + 581], FACE_PRESSED);
    // Back from the opened screen: a full redraw; holding the button opens nothing more.
    packet(3, 0, true);
    d.pump();
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_TRUE(d.matches_full_draw());
    packet(0, 0, false);
    packet(0, 0, true);
    d.pump();
    EXPECT_EQ(opened.size(), 2u);
}

TEST(DesktopLoop, PressingOutsideTheIconsOnlyChangesThePointer)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    packet(-300, 0, false);  // three packets: to (100, 300), left of SHELL
    d.pump();
    ASSERT_EQ(mouse_x, 100);
    d.canary();
    packet(0, 0, true);
    d.pump();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(fb.px(101, 301), FACE_PRESSED);
    // Only the square under the pointer was written.
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            ASSERT_EQ(fb.written(x, y), x >= 100 && x < 114 && y >= 300 && y < 314) << x << "," << y;
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());
}

TEST(DesktopLoop, HoldingTheButtonWhileMovingOntoAnIconDoesNotOpenIt)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    packet(-90, 0, false);   // (310, 300): between SHELL and FEATURES
    packet(0, 0, true);      // press in open space
    packet(-40, 0, true);    // onto SHELL, still held
    packet(-10, 0, true);
    d.pump();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(d.s.shown_hover, 0);
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());
    packet(0, 0, false);
    packet(0, 0, true);
    d.pump();
    EXPECT_EQ(opened, (std::vector<int32_t>{0}));
}

TEST(DesktopLoop, RebootIconShowsTheRebootScreenAndResets)
{
    TestFb fb(800, 600);
    Desk d(fb, false);
    d.step();
    packet(180, 0, false);
    packet(0, 0, true);
    EXPECT_THROW(d.pump(), SimReset);
    // "Rebooting..." centred on row 300 at scale 2: from (800 - 144) / 2 = 328.
    EXPECT_EQ(fb.px(328, 300), 0x00CCCCu);
    EXPECT_EQ(fb.px(0, 0), 0u);
    EXPECT_EQ(fb.px(150, 235), 0u);
}

TEST(DesktopLoop, AResetThatDoesNotHappenRedrawsTheDesktop)
{
    TestFb fb(800, 600);
    Desk d(fb, false);
    sim.reset_line_works = false;
    d.step();
    packet(180, 0, false);
    packet(0, 0, true);
    d.pump();  // the click; the reset fails
    EXPECT_EQ(d.s.redraw, 1);
    d.step();  // the redraw follows
    EXPECT_EQ(sim.int3_calls, 1);
    EXPECT_EQ(d.s.selection, 2);
    EXPECT_EQ(d.s.redraw, 0);
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());
}

// A pointer move writes the square it leaves and the pointer it draws, plus
// any icon whose hover changes: nothing else.
TEST(DesktopRepaint, AMoveWritesOnlyLocalPixels)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    packet(-120, -200, false);  // (280, 100): open space
    d.pump();
    ASSERT_EQ(mouse_x, 280);
    ASSERT_EQ(mouse_y, 100);

    auto only = [&](auto allowed) {
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x)
                if (fb.written(x, y) != allowed(x, y)) return testing::AssertionFailure() << x << "," << y;
        return testing::AssertionSuccess();
    };
    auto in = [](int x, int y, int x0, int y0, int w, int h) { return x >= x0 && x < x0 + w && y >= y0 && y < y0 + h; };

    d.canary();
    packet(5, 3, false);
    d.pump();
    EXPECT_TRUE(only([&](int x, int y) { return in(x, y, 280, 100, 14, 14) || in(x, y, 285, 103, 12, 12); }));
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());

    // Over the top bar's text: only the square and the pointer, texts restored.
    packet(-90, -90, false);  // (195, 13)
    d.pump();
    d.canary();
    packet(7, 0, false);
    d.pump();
    EXPECT_TRUE(only([&](int x, int y) { return in(x, y, 195, 13, 14, 14) || in(x, y, 202, 13, 12, 12); }));
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());

    // Across the edge of a plain icon (REBOOT) from outside, staying outside
    // its rectangle: the square only.
    packet(100, 0, false);
    packet(100, 0, false);
    packet(95, 0, false);   // (497, 13)
    packet(0, 120, false);
    packet(0, 160, false);  // (497, 293), left of REBOOT
    d.pump();
    d.canary();
    packet(6, 0, false);    // the square now reaches into the ring band
    d.pump();
    EXPECT_TRUE(only([&](int x, int y) { return in(x, y, 497, 293, 14, 14) || in(x, y, 503, 293, 12, 12); }));
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());

    // Onto REBOOT: its hover changes at the next move, which redraws it.
    packet(10, 0, false);  // (513, 293): inside
    d.pump();
    d.canary();
    packet(1, 0, false);
    d.pump();
    EXPECT_EQ(d.s.shown_hover, 2);
    EXPECT_EQ(fb.px(504, 229), RING);
    EXPECT_TRUE(only([&](int x, int y) {
        return in(x, y, 513, 293, 14, 14) || in(x, y, 514, 293, 12, 12) || in(x, y, 504, 229, 152, 122);
    }));
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());

    // Off it again: the ring disappears.
    packet(-30, 0, false);
    d.pump();
    packet(-1, 0, false);
    d.pump();
    EXPECT_EQ(d.s.shown_hover, -1);
    EXPECT_EQ(fb.px(504, 229), 0u);
    EXPECT_TRUE(d.matches_full_draw());
}

// Many random moves, presses, releases and some keys; after every pass that
// has not left a full redraw pending, the screen must be exactly the full
// desktop_draw of the shown state.
void random_walk(uint32_t w, uint32_t h, uint32_t bpp, uint32_t pitch, int steps, uint32_t seed)
{
    TestFb fb(w, h, bpp, pitch);
    Desk d(fb);
    std::mt19937 rng(seed);
    auto roll = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    bool held = false;
    int checks = 0, top_bar = 0, bottom_bar = 0, right_edge = 0, hover_changes = 0;
    d.step();
    for (int i = 0; i < steps; ++i) {
        const int what = roll(0, 999);
        if (what < 15) {
            (roll(0, 1) ? left_arrow : right_arrow)();
        } else if (what < 20) {
            sim_tap(0x1C);
        } else {
            if (roll(0, 99) < 15) held = !held;
            const int kind = roll(0, 9);
            const int span = kind < 5 ? 8 : kind < 9 ? 60 : 127;
            packet(roll(-span, span), roll(-span, span), held);
        }
        int32_t shown = d.s.shown_hover;
        while (!sim.out.empty() || roll(0, 2) == 0) {
            const bool idle = sim.out.empty();
            d.step();
            if (d.s.redraw) continue;
            ++checks;
            top_bar += d.s.drawn_y < 35;
            bottom_bar += d.s.drawn_y + 14 > int(h) - 28;
            right_edge += d.s.drawn_x + 12 > int(w);
            hover_changes += d.s.shown_hover != shown;
            shown = d.s.shown_hover;
            ASSERT_TRUE(d.matches_full_draw()) << "step " << i;
            if (idle) break;
        }
    }
    // The walk went where the repaint is hardest: over both bars, past the
    // right edge, onto and off the icons, and clicked some of them.
    EXPECT_GT(checks, steps);
    EXPECT_GT(top_bar, 20);
    EXPECT_GT(bottom_bar, 20);
    EXPECT_GT(right_edge, 5);
    EXPECT_GT(hover_changes, 20);
    EXPECT_FALSE(opened.empty());
    EXPECT_TRUE(fb.guards_intact());
}

TEST(DesktopRepaint, RandomMovesAndClicksEqualAFullRedrawAt800x600)
{
    random_walk(800, 600, 32, 0, 1000, 1);
}

TEST(DesktopRepaint, RandomMovesAndClicksEqualAFullRedrawAt320x200)
{
    // The icon row is wider than the screen and the rings reach the top bar.
    random_walk(320, 200, 32, 0, 3000, 2);
    random_walk(320, 200, 24, 320 * 3 + 5, 1500, 3);
}

}  // namespace
