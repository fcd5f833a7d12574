// The desktop: icon layout and hit test, the three looks of an icon, the
// loop's keys and clicks, and the local repaint of pointer moves, checked
// pixel for pixel against a full desktop_draw of the same state.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <tuple>
#include <vector>

#include "../../teaser/desktop.h"
#include "../../teaser/draw.h"
#include "../../teaser/input.h"
#include "support/fbmem.h"
#include "support/oracle.h"
#include "support/sim8042.h"

namespace {

constexpr uint32_t DOT = 0x001214, TOP_BAR = 0x001520, TOP_LINE = 0x003355, BOTTOM_BAR = 0x000D1A;
constexpr uint32_t BODY = 0x000810, RING = 0x001A2A, FRAME = 0x00FFFF, LABEL = 0x00CCFF;
constexpr uint32_t NAME = 0x00CCCC, BAR_TEXT = 0x004488, FACE = 0x00EEFF, FACE_PRESSED = 0xFFCC00;
constexpr uint32_t SHELL = 0x00CCFF, FEATURES = 0xFFCC00, REBOOT = 0xFF6644;
// The icons, left to right: the tests' own copy of the desktop's table.
const struct { const char* label; uint32_t colour; } APPS[] = {{"SHELL", SHELL}, {"FEATURES", FEATURES}, {"REBOOT", REBOOT}};

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

bool in(int x, int y, int x0, int y0, int w, int h) { return x >= x0 && x < x0 + w && y >= y0 && y < y0 + h; }

// Every pixel of the screen passes `ok`; else the first that does not.
testing::AssertionResult every_pixel(const TestFb& fb, const std::function<bool(int, int)>& ok)
{
    for (int y = 0; y < int(fb.height); ++y)
        for (int x = 0; x < int(fb.width); ++x)
            if (!ok(x, y)) return testing::AssertionFailure() << "pixel (" << x << ", " << y << ")";
    return testing::AssertionSuccess();
}

// Exactly the pixels `inside` holds were written.
testing::AssertionResult written_only(const TestFb& fb, const std::function<bool(int, int)>& inside)
{
    return every_pixel(fb, [&](int x, int y) { return fb.written(x, y) == inside(x, y); });
}

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

// A fresh desktop with the pointer at the centre of `fb`; with `hook`,
// opening an icon is only recorded.
struct Desk {
    TestFb& fb;
    desktop_state s{};

    explicit Desk(TestFb& f, bool hook = true) : fb(f)
    {
        input_reset(fb.width, fb.height);
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

    // The screen equals a full desktop_draw of the shown state.
    testing::AssertionResult matches_full_draw() const
    {
        const std::string diff = desktop_differs_from_full_draw(fb, s);
        if (diff.empty()) return testing::AssertionSuccess();
        return testing::AssertionFailure() << diff;
    }
};

// The row: equal 140 x 110 icons 40 apart, centred across the screen (a
// row wider than the screen too, at 320 x 200), its top 65 rows above the
// middle; each icon as its table row says. Hits are the rectangles only.
TEST(DesktopLayout, IconsAndHitTest)
{
    ASSERT_EQ(size_t(DESKTOP_ICONS), std::size(APPS));
    for (auto [w, h] : {std::array{800u, 600u}, {320u, 200u}, {1025u, 769u}}) {
        TestFb fb(w, h);
        desktop_icon icons[DESKTOP_ICONS];
        desktop_icons_init(icons);
        const desktop_icon &first = icons[0], &last = icons[DESKTOP_ICONS - 1];
        EXPECT_EQ(first.x, (int32_t(w) - (last.x + last.w - first.x)) / 2) << w;
        for (int i = 0; i < DESKTOP_ICONS; ++i) {
            const desktop_icon& c = icons[i];
            EXPECT_EQ((std::array{c.w, c.h, c.y}), (std::array{140, 110, int32_t(h) / 2 - 65}));
            if (i > 0) {
                EXPECT_EQ(c.x, icons[i - 1].x + 140 + 40);
            }
            EXPECT_STREQ(c.label, APPS[i].label);
            EXPECT_EQ(c.colour, APPS[i].colour);
            for (auto [x, y, hit] : {std::array{c.x, c.y, i}, {c.x + 139, c.y + 109, i}, {c.x - 1, c.y + 50, -1},
                                     {c.x + 140, c.y + 50, -1}, {c.x + 50, c.y - 1, -1}, {c.x + 50, c.y + 110, -1}, {c.x - 3, c.y - 3, -1}})
                EXPECT_EQ(desktop_hit(icons, x, y), hit) << x << "," << y;
        }
    }
    desktop_icon icons[DESKTOP_ICONS];
    desktop_icons_init(icons);
    desktop_icon same[DESKTOP_ICONS];
    std::fill(std::begin(same), std::end(same), icons[1]);  // overlapping: the first by index wins
    EXPECT_EQ(desktop_hit(same, icons[1].x, icons[1].y), 0);
    EXPECT_EQ(desktop_hit(icons, -5, -5), -1);
}

TEST(DesktopDraw, FirstScreenAt800x600)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    EXPECT_EQ(fb.written_pixels(), 800u * 600u);
    EXPECT_TRUE(fb.guards_intact());
    const std::array<uint32_t, 3> pins[] = {
        // The bars, the line under the top one, and 2 x 2 dots every 32 pixels on black.
        {0, 0, TOP_BAR}, {799, 33, TOP_BAR}, {0, 34, TOP_LINE}, {0, 35, 0}, {64, 64, DOT}, {65, 65, DOT},
        {66, 64, 0}, {0, 571, 0}, {0, 572, BOTTOM_BAR}, {799, 599, BOTTOM_BAR},
        // "ORVELIX" at (8, 8), scale 2: the O's first column is lit from row 1.
        {8, 10, NAME}, {8, 8, TOP_BAR},
        // The top help, 70 characters centred from 190 on row 12: 'D' is a full column.
        {190, 12, BAR_TEXT}, {190, 18, BAR_TEXT}, {189, 12, TOP_BAR},
        // The bottom help, 54 characters from 238 on row 580: 'A' column 0 is rows 1..6.
        {238, 581, BAR_TEXT}, {238, 580, BOTTOM_BAR}, {237, 581, BOTTOM_BAR},
        // SHELL selected: ring, cyan frame, ring, border, body.
        {144, 229, RING}, {146, 231, RING}, {147, 232, FRAME}, {292, 347, FRAME}, {148, 233, RING},
        {150, 235, SHELL}, {151, 236, BODY}, {143, 229, 0},
        // FEATURES hovered (the pointer is on it): ring only. REBOOT plain: background around it.
        {324, 229, RING}, {327, 232, RING}, {330, 235, FEATURES}, {504, 229, 0}, {507, 232, 0}, {509, 300, 0},
        {510, 235, REBOOT}, {511, 236, BODY},
        // SHELL's glyph: 40 x 40 from (200, 253), body bars on rows 259..262, 267..270 and 275..278.
        {200, 253, SHELL}, {239, 292, SHELL}, {240, 292, BODY}, {200, 293, BODY}, {206, 259, BODY}, {233, 259, BODY},
        {206, 263, SHELL}, {206, 267, BODY}, {233, 270, BODY}, {234, 270, SHELL}, {223, 275, BODY}, {224, 275, SHELL},
        // Labels on row 325: "SHELL" from 205 ('S' column 0 lit on rows 1, 2 and 6), "FEATURES" from 376.
        {205, 326, LABEL}, {205, 331, LABEL}, {205, 328, BODY}, {376, 325, LABEL}, {375, 325, BODY},
        // The pointer at the centre, not pressed.
        {400, 300, 0}, {401, 301, FACE}, {404, 304, 0x001A1A}, {411, 311, 0},
    };
    for (auto [x, y, colour] : pins) EXPECT_EQ(fb.px(int(x), int(y)), colour) << x << "," << y;
}

TEST(DesktopDraw, PlainIconRepaintsItsBandOverTheBars)
{
    // At 320 x 200 the ring band reaches into the top bar and its line: a
    // plain icon drawn over a highlighted one gives the bar back.
    TestFb fb(320, 200, 24);
    Desk d(fb);
    mouse_x = 5, mouse_y = 190;  // the pointer in the bottom bar, away from the icons
    desktop_draw(d.s.icons, 2, -1, 0);
    const auto plain = fb.snapshot();
    desktop_draw_icon(d.s.icons[1], 1, 1);
    EXPECT_EQ((std::array{fb.px(84, 29), fb.px(86, 34), fb.px(87, 32)}), (std::array{RING, RING, FRAME}));
    desktop_draw_icon(d.s.icons[1], 0, 0);
    EXPECT_EQ(fb.snapshot(), plain);
    EXPECT_TRUE(fb.guards_intact());
}

TEST(DesktopDraw, BackgroundRepaintWritesOnlyItsArea)
{
    TestFb fb(800, 600);
    Desk d(fb);
    desktop_draw(d.s.icons, 0, -1, 0);
    const auto full = fb.snapshot();
    for (auto [x, y, w, h] : {std::array{180, 5, 14, 14}, {-7, -7, 14, 14}, {790, 590, 14, 14}, {60, 570, 40, 10},
                              {0, 0, 800, 600}, {30, 30, 5, 5}}) {
        fb.clear(FB_CANARY);
        desktop_background(x, y, w, h);
        // Written inside only, and there the full picture where the icons are not.
        EXPECT_TRUE(every_pixel(fb, [&](int xx, int yy) {
            const bool inside = in(xx, yy, x, y, w, h);
            return fb.written(xx, yy) == inside &&
                   (!inside || in(xx, yy, 144, 229, 512, 122) || fb.px(xx, yy) == full[size_t(yy) * 800 + xx]);
        })) << x << "," << y << " " << w << "x" << h;
    }
}

TEST(DesktopLoop, ArrowsMoveTheSelectionWithoutWrappingAndEnterOpensIt)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    // {key, the selection after it, whether the screen is drawn again}: no
    // key, or an arrow that cannot move, draws nothing in the passes after it.
    for (auto [key, selection, redrawn] : {std::tuple{+[] {}, 0, false}, {left_arrow, 0, false}, {right_arrow, 1, true},
                                           {right_arrow, 2, true}, {right_arrow, 2, false}, {left_arrow, 1, true}}) {
        fb.clear(FB_CANARY);
        key();
        d.pump();
        for (int i = 0; i < 20; ++i) d.step();
        EXPECT_EQ(d.s.selection, selection);
        EXPECT_TRUE(redrawn ? d.matches_full_draw() : testing::AssertionResult(fb.written_pixels() == 0));
    }
    EXPECT_TRUE(opened.empty());

    sim_tap(0x1C);
    d.pump();
    right_arrow();
    sim_keys({0xE0, 0x1C, 0xE0, 0x9C});  // keypad Enter
    d.pump();
    EXPECT_EQ(opened, (std::vector<int32_t>{1, 2}));
    d.step();
    EXPECT_TRUE(d.matches_full_draw());  // redrawn after the return
}

// The real feature grid opens on Enter; ESC on it comes back to a full
// redraw; ESC on the desktop returns with the desktop still up (the main
// loop repaints the splash), and a new entry starts afresh.
TEST(DesktopLoop, FeaturesAndBackThenEscToTheSplashAndAFreshEntry)
{
    TestFb fb(800, 600);
    Desk d(fb, false);
    d.step();
    right_arrow();
    sim_tap(0x1C);
    sim_tap(0x39);  // Space on the grid: ignored
    sim_tap(0x01);  // ESC: back to the desktop
    while (sim.out.size() > 1) d.step();
    EXPECT_EQ(fb.px(0, 0), 0x001A2Au);  // the grid's header band is on the screen
    d.step();                            // the full redraw, with FEATURES still selected
    EXPECT_EQ(d.s.selection, 1);
    EXPECT_TRUE(d.matches_full_draw());

    sim_reset();
    right_arrow();
    right_arrow();
    sim_tap(0x01);
    desktop_run();
    EXPECT_EQ(last_sc, 0x01);
    EXPECT_EQ(fb.px(0, 34), TOP_LINE);  // nothing drawn over the desktop on the way out
    EXPECT_EQ(fb.px(0, 599), BOTTOM_BAR);

    // Space on the splash again: SHELL selected, the pointer's icon hovered.
    EXPECT_THROW(desktop_run(), SimExhausted);
    Desk fresh(fb);
    fresh.s.shown_hover = 1;
    fresh.s.drawn_x = 400, fresh.s.drawn_y = 300;
    EXPECT_TRUE(fresh.matches_full_draw());
}

// Only a press (the button going down) on an icon opens it, drawn selected,
// hovered and with the pointer pressed. A press outside the icons changes
// only the pointer, and holding the button onto an icon opens nothing.
// REBOOT shows the reboot screen and resets; a reset that does not happen
// leaves the desktop to redraw itself.
TEST(DesktopLoop, OnlyAPressOnAnIconOpensItAndRebootResets)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    packet(80, 0, false);
    packet(10, 0, false);  // (490, 300): between FEATURES and REBOOT
    d.pump();
    d.canary();
    packet(0, 0, true);
    d.pump();
    EXPECT_EQ(fb.px(491, 301), FACE_PRESSED);
    EXPECT_TRUE(written_only(fb, [](int x, int y) { return in(x, y, 490, 300, 14, 14); }));
    d.restore();
    EXPECT_TRUE(d.matches_full_draw());

    packet(20, 0, true);  // onto REBOOT, still held
    packet(10, 0, true);
    d.pump();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(d.s.shown_hover, 2);
    EXPECT_TRUE(d.matches_full_draw());

    packet(0, 0, false);
    packet(0, 0, true);
    d.pump();
    ASSERT_EQ(opened, (std::vector<int32_t>{2}));
    EXPECT_EQ(d.s.selection, 2);
    ASSERT_FALSE(screen_at_open.empty());
    auto at_open = [](int x, int y) { return screen_at_open[size_t(y) * 800 + x]; };
    EXPECT_EQ((std::array{at_open(507, 232), at_open(147, 232), at_open(521, 301)}),
              (std::array{FRAME, 0u, FACE_PRESSED}));
    // Back from the opened screen: a full redraw; holding the button opens nothing more.
    packet(3, 0, true);
    d.pump();
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_TRUE(d.matches_full_draw());

    d.s.open = nullptr;  // from now on the real screens
    sim.reset_line_works = false;
    packet(0, 0, false);
    packet(0, 0, true);
    d.pump();
    d.step();
    EXPECT_EQ(sim.int3_calls, 1);
    EXPECT_TRUE(d.matches_full_draw());
    sim.reset_line_works = true;
    packet(0, 0, false);
    packet(0, 0, true);
    EXPECT_THROW(d.pump(), SimReset);
    // "Rebooting..." centred on row 300 at scale 2, on black.
    EXPECT_EQ((std::array{fb.px(328, 300), fb.px(150, 235)}), (std::array{0x00CCCCu, 0u}));
}

// A key read in the pass whose click opens an icon belongs to the desktop
// before that screen: after it returns, the key is not taken (its ESC is in
// last_sc by then), so the desktop stays, Enter opens nothing again, and an
// ESC read with the click on SHELL does not leave the desktop too.
TEST(DesktopLoop, AKeyReadInTheClickingPassIsNotTakenAfterTheOpenedScreen)
{
    const struct {
        const char* what;
        bool real_screen;
        int dx, icon;
        uint8_t key, then;  // the key read in the clicking pass, one for the opened screen (0: none)
    } cases[] = {
        {"the feature grid, a key", true, 0, 1, 0x1E, 0x01},  // the pointer rests on FEATURES
        {"recorded, Enter", false, 0, 1, 0x1C, 0},
        {"the terminal, ESC", true, -180, 0, 0x01, 0x01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestFb fb(800, 600);
        Desk d(fb, !c.real_screen);
        d.step();
        packet(c.dx, 0, false);
        d.pump();
        packet(0, 0, true);
        sim_keys({c.key});
        if (c.then) sim_keys({c.then});
        while (!sim.out.empty()) ASSERT_EQ(d.step(), 0);
        EXPECT_EQ(d.s.selection, c.icon);
        if (!c.real_screen) {
            EXPECT_EQ(opened, (std::vector<int32_t>{c.icon}));
        }
        d.step();
        EXPECT_TRUE(d.matches_full_draw());
    }
}

// After a click on REBOOT whose reset does not happen, the key read in the
// clicking pass is the desktop's own: ESC leaves, Enter opens REBOOT again.
TEST(DesktopLoop, AKeyReadInTheClickingPassIsTakenAfterAFailedReset)
{
    for (uint8_t key : {0x01, 0x1C}) {
        TestFb fb(800, 600);
        Desk d(fb, false);
        sim.reset_line_works = false;
        d.step();
        packet(150, 0, false);  // from the centre onto REBOOT
        d.pump();
        packet(0, 0, true);
        sim_keys({key});
        int left = 0;
        while (!sim.out.empty()) left = d.step();
        EXPECT_EQ(d.s.selection, 2);
        EXPECT_EQ(left, key == 0x01);
        EXPECT_EQ(sim.int3_calls, key == 0x01 ? 1 : 2) << int(key);
    }
}

// A pointer move writes the square it leaves and the pointer it draws, plus
// any icon whose hover changes: nothing else.
TEST(DesktopRepaint, AMoveWritesOnlyLocalPixels)
{
    TestFb fb(800, 600);
    Desk d(fb);
    d.step();
    // {moves before the canary, the move watched, the hover after it, the
    // areas it may write: the square left, the pointer drawn, an icon}
    struct Move {
        std::vector<std::array<int, 2>> approach;
        int dx, dy, hover;
        std::vector<std::array<int, 4>> written;
    };
    const Move moves[] = {
        {{{-120, -200}}, 5, 3, -1, {{280, 100, 14, 14}, {285, 103, 12, 12}}},  // in open space
        {{{-90, -90}}, 7, 0, -1, {{195, 13, 14, 14}, {202, 13, 12, 12}}},      // over the top bar's text
        // Into REBOOT's ring band from outside, staying outside its rectangle.
        {{{100, 0}, {100, 0}, {95, 0}, {0, 120}, {0, 160}}, 6, 0, -1, {{497, 293, 14, 14}, {503, 293, 12, 12}}},
        // Onto REBOOT, and off it: the hover changes at the next move, which redraws the icon.
        {{{10, 0}}, 1, 0, 2, {{513, 293, 14, 14}, {514, 293, 12, 12}, {504, 229, 152, 122}}},
        {{{-30, 0}}, -1, 0, -1, {{484, 293, 14, 14}, {483, 293, 12, 12}, {504, 229, 152, 122}}},
    };
    for (const Move& m : moves) {
        for (auto [dx, dy] : m.approach) packet(dx, dy, false);
        d.pump();
        d.canary();
        packet(m.dx, m.dy, false);
        d.pump();
        SCOPED_TRACE(testing::Message() << "at " << mouse_x << "," << mouse_y);
        EXPECT_EQ(d.s.shown_hover, m.hover);
        EXPECT_TRUE(written_only(fb, [&](int x, int y) {
            return std::any_of(m.written.begin(), m.written.end(),
                               [&](auto r) { return in(x, y, r[0], r[1], r[2], r[3]); });
        }));
        d.restore();
        EXPECT_TRUE(d.matches_full_draw());
    }
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
            if (roll(0, 9) == 0) {
                // A key amid the packet, its make code right before the
                // packet's second or last byte: the pass after the key, which
                // may be a full redraw, takes that byte in.
                const uint8_t make = roll(0, 2) ? 0x1C : roll(0, 1) ? 0x4B : 0x4D;
                std::vector<Sim8042::Byte> press{{make, false}};
                if (make != 0x1C) press.insert(press.begin(), {0xE0, false});
                sim.out.insert(sim.out.end() - roll(1, 2), press.begin(), press.end());
                if (make != 0x1C) sim_keys({0xE0});
                sim_keys({uint8_t(make | 0x80)});
            }
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
