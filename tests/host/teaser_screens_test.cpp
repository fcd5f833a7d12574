// The teaser from kernel_main on: fallback screen, boot log, curtain,
// splash geometry, and the main loop's pulse, periodic repaint and keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <functional>
#include <vector>

#include "../../teaser/bootlog.h"
#include "../../teaser/draw.h"
#include "../../teaser/input.h"
#include "../../teaser/kernel.h"
#include "../../teaser/splash.h"
#include "../../teaser/termdraw.h"
#include "../../teaser/termstore.h"
#include "support/fbmem.h"
#include "support/glyphs.h"
#include "support/sim8042.h"

namespace {

// Every pixel the text at (x, y) lights, as far as it is on the screen, has the colour.
bool text_shown(const TestFb& fb, const char* text, int x, int y, int scale, uint32_t colour)
{
    const int right = std::min(x + 6 * scale * int(std::strlen(text)), int(fb.width));
    for (int yy = std::max(y, 0); yy < std::min(y + 7 * scale, int(fb.height)); ++yy)
        for (int xx = std::max(x, 0); xx < right; ++xx)
            if (glyph_lit(text, x, y, scale, xx, yy) && fb.px(xx, yy) != colour) return false;
    return true;
}

void check_red_screen(const char* why)
{
    const char* message = "  ORVELIX: No framebuffer. Reboot.";
    for (int i = 0; i < 2000; ++i) {
        uint16_t want = i < 34 ? uint16_t(0x4F00 | uint8_t(message[i])) : 0x4F20;
        ASSERT_EQ(vga_cells()[i], want) << why << " cell " << i;
    }
}

struct Boot {
    BootInfo info;
    uint32_t place(uint32_t w, uint32_t h, uint8_t bpp = 32)
    {
        info.add_fb(FB_TEST_BASE + FB_TEST_GUARD, w * (bpp / 8), w, h, bpp);
        info.end();
        return info.place();
    }
};

TEST(Fallback, EveryRefusedHandOffEndsOnTheRedScreenAndKeysChangeNothing)
{
    struct Case {
        const char* why;
        uint32_t magic;
        uint32_t w, h;
        uint8_t bpp, type;
        bool null_info;
    } cases[] = {
        {"wrong magic", 0x2BADB002, 1024, 768, 32, 1, false},
        {"no information", 0x36D76289, 1024, 768, 32, 1, true},
        {"EGA text", 0x36D76289, 80, 25, 16, 2, false},
        {"indexed", 0x36D76289, 1024, 768, 8, 0, false},
        {"16 bits", 0x36D76289, 1024, 768, 16, 1, false},
        {"too narrow", 0x36D76289, 319, 200, 32, 1, false},
    };
    for (const Case& c : cases) {
        sim_reset();
        sim_type("r");
        sim_keys({0x01, 0x39});
        std::memset(vga_cells(), 0, 4000);
        BootInfo bi;
        bi.add_fb(0xFD000000, c.w * 4, c.w, c.h, c.bpp, c.type);
        bi.end();
        uint32_t info = c.null_info ? 0 : bi.place();
        EXPECT_THROW(kernel_main(c.magic, info), SimExhausted) << c.why;
        check_red_screen(c.why);
        EXPECT_TRUE(sim.out.empty()) << c.why;  // keys were read and ignored
        EXPECT_TRUE(sim.writes.empty()) << c.why;  // no mouse set-up, no reset
    }
}

TEST(Fallback, NoFramebufferTagAtAll)
{
    sim_reset();
    BootInfo bi;
    bi.add_tag(1, {'x', 0});
    bi.end();
    EXPECT_THROW(kernel_main(0x36D76289, bi.place()), SimExhausted);
    check_red_screen("no tag");
}

TEST(BootLog, FramebufferLineAndRules)
{
    TestFb fb(800, 600);
    mb2_fb_tag tag{8, 32, 0, 0, 800, 600, 24, 1};  // a pitch of 0 is shown as it is
    boot_log(&tag);
    EXPECT_TRUE(text_shown(fb, "> Framebuffer: 800x600x32 @ 0B/r", 24, 88, 1, 0x00CCFF));
    EXPECT_TRUE(text_shown(fb, "> Launching splash...", 24, 204, 1, 0x004444));
    for (int y : {30, 172}) {
        EXPECT_EQ(fb.px(19, y), 0u);
        EXPECT_EQ(fb.px(20, y), 0x003333u);
        EXPECT_EQ(fb.px(779, y), 0x003333u);
        EXPECT_EQ(fb.px(780, y), 0u);
    }
}

// Each line is drawn, then comes its pause: at every pause the lowest lit
// row belongs to the line just drawn.
TEST(BootLog, EachLineIsFollowedByItsPause)
{
    TestFb fb(640, 480);
    sim_reset();
    std::vector<int> lowest;
    sim.on_pause = [&](int32_t) {
        int low = -1;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640 && low < y; ++x)
                if (fb.px(x, y) != 0) low = y;
        lowest.push_back(low);
    };
    mb2_fb_tag tag{8, 32, 0, 2560, 640, 480, 32, 1};
    boot_log(&tag);
    sim.on_pause = nullptr;
    EXPECT_EQ(sim.pauses, (std::vector<int32_t>{120, 80, 80, 100, 80, 80, 80, 60, 100, 400}));
    const std::vector<int> tops = {40, 56, 72, 88, 104, 120, 136, 152, 180, 204};
    ASSERT_EQ(lowest.size(), tops.size());
    for (size_t i = 0; i < tops.size(); ++i)
        EXPECT_TRUE(lowest[i] >= tops[i] && lowest[i] < tops[i] + 7) << "pause " << i << ": row " << lowest[i];
}

TEST(Splash, GeometryAt800x600)
{
    TestFb fb(800, 600);
    draw_splash();
    EXPECT_EQ(splash_cy, 270);
    EXPECT_EQ(fb.px(190, 220), 0x001A1Au);  // outer panel corners
    EXPECT_EQ(fb.px(609, 319), 0x001A1Au);
    EXPECT_NE(fb.px(610, 319), 0x001A1Au);
    EXPECT_EQ(fb.px(200, 230), 0x002828u);
    EXPECT_EQ(fb.px(210, 240), 0x003636u);
    EXPECT_TRUE(text_shown(fb, "ORVELIX", 232, 242, 8, 0x00EEFF));
    EXPECT_EQ(fb.px(230, 302), 0x00CCCCu);  // accent rows 302 and 303, columns 230..569
    EXPECT_EQ(fb.px(569, 303), 0x00CCCCu);
    EXPECT_EQ(fb.px(570, 303), 0x002828u);
    EXPECT_EQ(fb.px(230, 304), 0x002828u);
    EXPECT_TRUE(text_shown(fb, "Coming end of 2027", 292, 316, 2, 0x00AAAA));
    EXPECT_TRUE(text_shown(fb, "Fernquill Studios", 349, 350, 1, 0x004444));
    EXPECT_EQ(fb.px(0, 568), 0x000D1Au);
    EXPECT_EQ(fb.px(0, 567), 0x000000u);
    EXPECT_TRUE(text_shown(fb, "SPACE - Desktop   F - Features   T - Terminal   R - Reboot", 226, 578, 1, 0x004488));
    EXPECT_EQ(fb.px(64, 96), 0x001818u);  // the dot grid
    EXPECT_EQ(fb.px(65, 97), 0x001818u);
    EXPECT_EQ(fb.px(66, 96), 0x000000u);
}

// The dot grid everywhere outside the panels and the bottom bar: a 2 x 2
// dot at every 32 pixels across and down, also between the letters of the
// two lines below the panels, on a screen wider than it is tall.
TEST(Splash, DotGridCoversTheWholeScreen)
{
    TestFb fb(800, 600);
    draw_splash();
    for (int y = 0; y < 568; ++y)
        for (int x = 0; x < 800; ++x) {
            if (x >= 190 && x < 610 && y >= 220 && y < 320) continue;  // the outer panel
            const uint32_t c = fb.px(x, y);
            if (c == 0x00AAAA || c == 0x004444) continue;  // a lit pixel of the text lines
            ASSERT_EQ(c, x % 32 < 2 && y % 32 < 2 ? 0x001818u : 0u) << x << "," << y;
        }
}

TEST(Splash, SmallestScreenIsClippedAtBothSides)
{
    for (uint32_t bpp : {24u, 32u}) {
        TestFb fb(320, 200, bpp, 320 * (bpp / 8) + 12);
        draw_splash();
        EXPECT_EQ(splash_cy, 70);
        EXPECT_TRUE(text_shown(fb, "ORVELIX", -8, 42, 8, 0x00EEFF));
        EXPECT_EQ(fb.px(0, 20), 0x001A1Au);  // panels wider than the screen
        EXPECT_EQ(fb.px(319, 20), 0x001A1Au);
        std::string where;
        EXPECT_TRUE(fb.guards_intact(&where)) << where;
    }
}

TEST(Splash, OddHeightRoundsLikeTheEvenOne)
{
    TestFb fb(800, 601);
    draw_splash();
    EXPECT_EQ(splash_cy, 270);
}

// Step k of 20 leaves the top H - floor(k H / 20) rows black, the splash
// below them, and pauses 20. At 203 rows the rounding shows (10.15 k).
TEST(Curtain, TwentyStepsUncoverTheSplashFromTheBottom)
{
    TestFb fb(320, 203);
    draw_splash();
    const std::vector<uint32_t> splash = fb.snapshot();
    fb.clear(0x77);
    sim_reset();
    const int covered[20] = {193, 183, 173, 163, 153, 143, 132, 122, 112, 102, 92, 82, 72, 61, 51, 41, 31, 21, 11, 0};
    size_t step = 0;
    sim.on_pause = [&](int32_t) {
        ASSERT_LT(step, 20u);
        const std::vector<uint32_t> now = fb.snapshot();
        for (size_t i = 0; i < now.size(); ++i)
            ASSERT_EQ(now[i], int(i / 320) < covered[step] ? 0u : splash[i])
                << "step " << step + 1 << ", pixel " << i % 320 << "," << i / 320;
        ++step;
    };
    splash_curtain();
    sim.on_pause = nullptr;
    EXPECT_EQ(step, 20u);
    EXPECT_EQ(sim.pauses, std::vector<int32_t>(20, 20));
}

TEST(Curtain, EndsWithTheWholeSplash)
{
    TestFb fb(640, 480, 24);
    draw_splash();
    std::vector<uint32_t> splash = fb.snapshot();
    fb.clear(0x77);
    splash_curtain();
    EXPECT_EQ(fb.snapshot(), splash);
}

// Boots to the main loop and records, at each of its polls, what a frame did.
// Bytes waiting during the mouse set-up would be taken for its replies, so
// input is queued at the main loop's first poll.
struct MainLoop : ::testing::Test {
    uint32_t info = 0;
    // The framebuffer the information describes is the test's TestFb.
    void start(uint32_t w, uint32_t h, std::function<void()> input = {})
    {
        sim_reset();
        Boot boot;
        info = boot.place(w, h);
        sim.on_poll = [input, queued = false]() mutable {
            if (queued || sim_written(0x60).size() < 5 || !sim.out.empty()) return;
            queued = true;
            if (input) input();
        };
    }
};

TEST_F(MainLoop, AccentPulsesInOrderAndTheSplashIsRepaintedEveryEightyFrames)
{
    TestFb fb(800, 600);
    start(800, 600);
    std::vector<uint32_t> colours;
    std::vector<int> repaints;
    int polls = 0;
    bool in_loop = false;
    sim.idle_limit = 170;
    sim.on_poll = [&] {
        // The main loop's polls come after the splash is up.
        if (!in_loop) {
            if (fb.px(0, 599) != 0x000D1A) return;
            in_loop = true;
        }
        ++polls;
        colours.push_back(fb.px(230, 302));
        if (fb.px(5, 5) == 0) repaints.push_back(polls);  // the canary below was painted over
        uint8_t* p = fb.base + 5 * fb.pitch + 5 * 4;
        p[0] = 0x42;
    };
    std::vector<size_t> pauses_at_poll;
    auto record = sim.on_poll;
    sim.on_poll = [&] {
        const size_t before = colours.size();
        record();
        if (colours.size() > before) pauses_at_poll.push_back(sim.pauses.size());
    };
    EXPECT_THROW(kernel_main(0x36D76289, info), SimExhausted);
    ASSERT_GE(colours.size(), 170u);
    // The boot log's ten pauses and the curtain's twenty, then one of 60
    // before each frame's poll.
    const std::vector<int32_t> boot = {120, 80, 80, 100, 80, 80, 80, 60, 100, 400};
    ASSERT_GT(sim.pauses.size(), 30u);
    EXPECT_EQ(std::vector<int32_t>(sim.pauses.begin(), sim.pauses.begin() + 10), boot);
    EXPECT_EQ(std::vector<int32_t>(sim.pauses.begin() + 10, sim.pauses.begin() + 30), std::vector<int32_t>(20, 20));
    EXPECT_EQ(std::vector<int32_t>(sim.pauses.begin() + 30, sim.pauses.end()),
              std::vector<int32_t>(sim.pauses.size() - 30, 60));
    for (size_t i = 0; i < pauses_at_poll.size(); ++i) ASSERT_EQ(pauses_at_poll[i], 31 + i) << "frame " << i + 1;
    const uint32_t cycle[4] = {0x00CCCC, 0x009999, 0x006666, 0x009999};
    int phase = -1;
    for (int p = 0; p < 4; ++p)
        if (colours[0] == cycle[p] && colours[1] == cycle[(p + 1) % 4]) phase = p;
    ASSERT_GE(phase, 0);
    for (size_t i = 0; i < colours.size(); ++i) {
        // A repaint puts the accent back to its first colour until the next frame.
        if (i % 80 == 79) continue;
        ASSERT_EQ(colours[i], cycle[(phase + i) % 4]) << i;
    }
    EXPECT_EQ(repaints, (std::vector<int>{1, 80, 160}));
}

TEST_F(MainLoop, EscapeAndBothCasesOfRRebootFromTheSplash)
{
    std::function<void()> keys[] = {
        [] { sim_tap(0x01); },
        [] { sim_type("r"); },
        [] { sim_type("R"); },
        [] { sim_keys({0x3A, 0xBA, 0x13}); },  // Caps Lock, then r
    };
    for (auto& k : keys) {
        TestFb fb(800, 600);
        start(800, 600, k);
        EXPECT_THROW(kernel_main(0x36D76289, info), SimReset);
    }
}

TEST_F(MainLoop, RebootScreenShowsItsMessageBeforeTheReset)
{
    TestFb fb(1024, 768);
    start(1024, 768, [] { sim_tap(0x13); });
    EXPECT_THROW(kernel_main(0x36D76289, info), SimReset);
    // The reset came while "Rebooting..." was on a black screen.
    EXPECT_EQ(fb.px(512, 300), 0u);
    EXPECT_EQ(fb.px(1023, 767), 0u);
    EXPECT_TRUE(text_shown(fb, "Rebooting...", (1024 - 144) / 2, 384, 2, 0x00CCCC));
    // The frame's pause, then the reboot screen's own.
    ASSERT_GE(sim.pauses.size(), 2u);
    EXPECT_EQ((std::vector<int32_t>(sim.pauses.end() - 2, sim.pauses.end())), (std::vector<int32_t>{60, 400}));
}

// F, T and Space open the feature grid, the terminal and the desktop, in
// either case for the letters; ESC there brings the whole splash back.
TEST_F(MainLoop, FTAndSpaceOpenTheirScreensAndEscBringsTheSplashBack)
{
    std::vector<uint32_t> splash;
    {
        TestFb ref(640, 480);
        draw_splash();
        splash = ref.snapshot();
    }
    // What the screen shows, told by a few pixels of each screen, or the
    // splash compared whole but for its pulsing accent rows (242 and 243).
    auto shown = [&](const TestFb& fb) -> std::string {
        const uint32_t top = fb.px(0, 0), row100 = fb.px(5, 100), bottom = fb.px(0, 479);
        if (top == 0x001A2A) return "grid";
        if (top == 0x001520 && row100 == 0x000508) return "terminal";
        if (top == 0x001520 && row100 == 0 && bottom == 0x000D1A) return "desktop";
        const auto now = fb.snapshot();
        for (size_t i = 0; i < now.size(); ++i)
            if (now[i] != splash[i] && i / 640 != 242 && i / 640 != 243) return "something else";
        return "splash";
    };
    const std::pair<const char*, const char*> cases[] = {
        {"f", "grid"}, {"F", "grid"}, {"t", "terminal"}, {"T", "terminal"}, {" ", "desktop"},
    };
    for (auto [typed, screen] : cases)
        for (bool esc : {false, true}) {
            SCOPED_TRACE(testing::Message() << "'" << typed << "'" << (esc ? " then ESC" : ""));
            TestFb fb(640, 480);
            start(640, 480, [typed, esc] {
                sim_type(typed);
                if (esc) sim_tap(0x01);
            });
            EXPECT_THROW(kernel_main(0x36D76289, info), SimExhausted);
            EXPECT_EQ(shown(fb), esc ? "splash" : screen);
            EXPECT_EQ(sim_written(0x64).size(), 7u);  // the mouse set-up only: no reset
        }
}

TEST_F(MainLoop, OtherKeysAndMouseBytesDoNothingOnTheSplash)
{
    TestFb fb(800, 600);
    start(800, 600, [] {
        sim_keys({0xE0, 0x4B, 0xE0, 0xCB, 0x3B, 0xBB});  // Left arrow, F1
        sim_type("zq1");
        sim_mouse({0x08, 0x05, 0x05});
    });
    EXPECT_THROW(kernel_main(0x36D76289, info), SimExhausted);
    EXPECT_EQ(sim_written(0x64).size(), 7u);  // the mouse set-up only: no reset
    EXPECT_EQ(mouse_x, 405);  // the invisible pointer still moved
}

// Every screen opened from the splash returns on ESC to the whole splash,
// repainted by the main loop; the accent rows carry the pulse of the moment.
TEST_F(MainLoop, EachNestedScreenReturnsToTheWholeSplash)
{
    struct Case {
        const char* screen;
        std::function<void()> keys;
        uint32_t corner;  // the opened screen's top-left pixel
    } cases[] = {
        {"desktop", [] { sim_tap(0x39), sim_tap(0x01); }, 0x001520},
        {"feature grid", [] { sim_type("f"), sim_tap(0x01); }, 0x001A2A},
        {"terminal", [] { sim_type("T"), sim_tap(0x01); }, 0x001520},
    };
    for (const Case& c : cases) {
        TestFb fb(800, 600);
        draw_splash();
        const std::vector<uint32_t> splash = fb.snapshot();
        fb.clear(0);
        start(800, 600, c.keys);
        bool opened = false;
        sim.on_poll = [&, queue = sim.on_poll] {
            queue();
            if (fb.px(0, 0) == c.corner) opened = true;
        };
        EXPECT_THROW(kernel_main(0x36D76289, info), SimExhausted) << c.screen;
        EXPECT_TRUE(opened) << c.screen;
        const std::vector<uint32_t> now = fb.snapshot();
        for (size_t i = 0; i < now.size(); ++i) {
            const size_t y = i / 800;
            if (y == 302 || y == 303) continue;  // the pulsing accent
            ASSERT_EQ(now[i], splash[i]) << c.screen << " pixel " << i % 800 << "," << y;
        }
    }
}

TEST(TerminalRow, ALongLineOnANarrowScreenLeavesNothingBehind)
{
    // 87 characters reach column 531, past the band's end at W - 11 = 309.
    TestFb fb(320, 200);
    fb.clear(0);
    term_empty();
    tvis = term_visible_rows(200);
    term_add(std::string(87, 'M').c_str());
    term_draw_line(0, 0);
    EXPECT_EQ(fb.px(310, 40), 0x00BB99u);  // drawn past the band, to the screen's edge
    term_empty();
    term_add("ok");
    term_draw_line(0, 0);
    for (int y = 38; y < 51; ++y)
        for (int x = 22; x < 320; ++x) ASSERT_EQ(fb.px(x, y), 0x000508u) << x << "," << y;

    // Where a whole line fits, the band alone is cleared.
    TestFb wide(640, 200);
    wide.clear(0);
    term_draw_line(0, 0);
    EXPECT_EQ(wide.px(629, 38), 0x000508u);
    EXPECT_EQ(wide.px(630, 38), 0u);
}

}  // namespace
