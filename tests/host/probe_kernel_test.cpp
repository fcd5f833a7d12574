// The probe's key reader and its whole run on the host: the magic check,
// the graphics gate at its limits, the retry on a character key and the
// reset on R, r or ESC. The simulated controller ends a run by throwing
// SimExhausted once its script is used up, or SimReset on 0xFE.
#include <algorithm>
#include <functional>

#include "../../fbprobe/kernel.h"
#include "probe_testing.h"

namespace {
using namespace probe_test;

// ---- kbd_getchar ----------------------------------------------------------

TEST(Getchar, EveryMakeCode)
{
    for (int code = 0; code < 128; ++code) {
        sim_reset();
        sim_keys({uint8_t(code), 0x1E});  // then 'a', which ends the wait for codes without a character
        const char ch = char(us_key(uint8_t(code), false));
        const uint8_t want = code == 0x01 ? 27 : (ch ? ch : 'a');
        EXPECT_EQ(kbd_getchar(), want) << std::hex << code;
        EXPECT_EQ(sim.out.size(), want == 'a' && code != 0x1E ? 0u : 1u) << std::hex << code;
    }
}

constexpr int MOUSE = 0x100;  // marks a byte from the mouse in a script

TEST(Getchar, SkipsReleasesPrefixesKeysWithoutACharacterAndTheMouse)
{
    std::vector<int> releases, mouse;
    for (int b = 0x80; b < 0x100; ++b) releases.push_back(b);
    for (int b = 0; b < 0x100; ++b) mouse.push_back(MOUSE | b);  // among them 0x01 (ESC) and 0x13 (R)
    const struct {
        const char* what;
        std::vector<int> script;
        std::string want;  // the characters returned, before it waits for more
    } cases[] = {
        {"every release", releases, ""},
        {"every mouse byte", mouse, ""},
        // Left pressed and released, Up, Home, right Ctrl, right Alt; keypad Enter and slash.
        {"extended keys by their second byte",
         {0xE0, 0x4B, 0xE0, 0xCB, 0xE0, 0x48, 0xE0, 0x47, 0xE0, 0x1D, 0xE0, 0x38, 0xE0, 0x1C, 0xE0, 0x35}, "\n/"},
        {"Shift is not remembered", {0x2A, 0x13, 0xAA}, "r"},
        {"mouse bytes between key bytes", {0xE0, MOUSE | 0x08, MOUSE | 0x01, 0x4B, MOUSE | 0x39, 0x39}, " "},
        {"ESC", {0x2A, 0x01, MOUSE | 0xFA, 0x1C}, "\x1b\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim_reset();
        for (int b : c.script) sim.out.push_back({uint8_t(b), (b & MOUSE) != 0});
        for (char ch : c.want) EXPECT_EQ(kbd_getchar(), uint8_t(ch));
        EXPECT_THROW(kbd_getchar(), SimExhausted);  // it waits without bound
        EXPECT_TRUE(sim.out.empty());
        EXPECT_TRUE(sim.writes.empty());
    }
}

// ---- kernel_main ----------------------------------------------------------

constexpr uint32_t MAGIC = MB2_BOOT_MAGIC;

class Probe : public ::testing::Test {
protected:
    void SetUp() override { reset_text(); }

    // Runs the probe until the script is used up (or the machine resets).
    template <typename Ending = SimExhausted>
    void run(uint32_t magic, uint32_t info)
    {
        EXPECT_THROW(kernel_main(magic, info), Ending);
    }
};

// Boot information as GRUB lays it out: a command line, then the framebuffer.
uint32_t info_with(const mb2_fb_tag& t)
{
    BootInfo bi;
    bi.add_tag(1, {'c', 'm', 'd', 0});
    bi.add_fb(t.addr, t.pitch, t.width, t.height, t.bpp, t.fb_type);
    bi.end();
    return bi.place();
}

const Screen REBOOTING = Screen().put(0, 0, "Rebooting...", 0x0F);

TEST_F(Probe, TheGateChoosesThePictureOrTheReport)
{
    auto on_fb = [](uint64_t fb) -> uint64_t { return fb; };
    auto zero = [](uint64_t) -> uint64_t { return 0; };
    // Above 4 GiB, with the low half naming the test framebuffer: a cut-down
    // address would draw into it.
    auto above_4g = [](uint64_t fb) -> uint64_t { return fb | 1ull << 32; };
    auto far_above = [](uint64_t fb) -> uint64_t { return fb | 0xFFull << 32; };
    auto across_4g = [](uint64_t) -> uint64_t { return 0xFFF00000; };  // starts below, runs past
    const char* small = "smaller than 320x200";
    const char* depth = "not 24 or 32 bits per pixel";
    const char* high = "not wholly below 4 GiB";
    const char* width = "beyond the CPU's address width";  // the default simulated processor's 32 bits
    const struct {
        uint32_t w, h, pitch;  // pitch 0: rows without padding
        uint8_t bpp, type;  // type 0: indexed, 1: RGB, 2: EGA text, 3: unknown
        uint64_t (*addr)(uint64_t fb);
        bool graphics;
        const char* refused = nullptr;  // what the report says of a refused RGB framebuffer
    } cases[] = {
        {1024, 768, 0, 32, 1, on_fb, true},           {800, 600, 2432, 24, 1, on_fb, true},
        {320, 200, 0, 24, 1, on_fb, true},            {320, 200, 0, 32, 1, on_fb, true},
        {319, 200, 0, 24, 1, on_fb, false, small},    {320, 199, 0, 24, 1, on_fb, false, small},
        {320, 200, 0, 16, 1, on_fb, false, depth},    {320, 200, 0, 8, 1, on_fb, false, depth},
        {320, 200, 0, 31, 1, on_fb, false, depth},    {1024, 768, 0, 32, 0, on_fb, false},
        {1024, 768, 0, 32, 2, on_fb, false},          {1024, 768, 0, 32, 3, on_fb, false},
        {1024, 768, 0, 32, 1, zero, false, "address 0"}, {640, 480, 0, 32, 1, above_4g, false, width},
        {640, 480, 0, 32, 1, far_above, false, width}, {1024, 768, 0, 32, 1, across_4g, false, high},
    };
    for (const auto& c : cases) {
        reset_text();
        TestFb fb(c.w, c.h, c.bpp >= 24 ? c.bpp / 8 * 8 : 32, c.pitch);
        mb2_fb_tag tag = tag_for(fb);
        tag.bpp = c.bpp;
        tag.fb_type = c.type;
        tag.addr = c.addr(tag.addr);
        SCOPED_TRACE(mode_text(tag, "x") + " type " + std::to_string(c.type) + " at " + std::to_string(tag.addr));
        run(MAGIC, info_with(tag));
        if (c.graphics) {
            EXPECT_TRUE(picture_is_test_pattern(fb));
            EXPECT_TRUE(screen_is(overlay(tag)));  // cleared at start, then the four rows
        } else {
            EXPECT_EQ(fb.written_pixels(), 0u);
            EXPECT_TRUE(fb.guards_intact());
            EXPECT_TRUE(screen_is(tag_report(tag, c.refused)));
        }
        EXPECT_TRUE(sim.writes.empty());
    }
}

TEST_F(Probe, WithoutAFramebufferTagTheReportSaysSo)
{
    TestFb fb(1024, 768, 32);
    const struct {
        const char* what;
        uint32_t magic;
        std::function<uint32_t()> info;
        bool magic_ok;
    } cases[] = {
        // With the wrong magic the information is not looked at: 0x10 cannot be read.
        {"wrong magic", 0x2BADB002, [] { return 0x10u; }, false},
        {"wrong magic, usable framebuffer", MAGIC - 1, [&] { return info_with(tag_for(fb)); }, false},
        {"no information", MAGIC, [] { return 0u; }, true},
        {"no framebuffer tag", MAGIC,
         [] {
             BootInfo bi;
             bi.add_tag(6, std::vector<uint8_t>(40, 0));
             bi.end();
             return bi.place();
         },
         true},
        // A total size that ends inside the tag: it does not count, and
        // nothing past the end is read (the next page is unmapped).
        {"tag cut by the total size", MAGIC,
         [] {
             BootInfo bi;
             bi.add_fb(0xFD000000, 4096, 1024, 768, 32);
             return bi.place(8 + 16);
         },
         true},
        // One whose total size runs past 4 GiB holds no tag, even one that
        // its first bytes hold whole.
        {"information reaching past 4 GiB", MAGIC,
         [&] {
             BootInfo bi;
             bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), 4096, 1024, 768, 32);
             bi.end();
             return bi.place(0xFFFFFFFF);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset_text();
        run(c.magic, c.info());
        EXPECT_TRUE(screen_is(no_tag_report(c.magic_ok)));
        EXPECT_EQ(fb.written_pixels(), 0u);
    }
}

TEST_F(Probe, EveryCharacterKeyRedrawsTheScreen)
{
    TestFb fb(640, 480, 24);
    const mb2_fb_tag tag = tag_for(fb);
    const uint8_t retry_keys[] = {0x39, 0x1C, 0x0F, 0x1E, 0x02};  // space, Enter, Tab, a, 1
    for (bool graphics : {true, false}) {
        SCOPED_TRACE(graphics ? "picture" : "report");
        reset_text();
        sim_mouse({0x08, 0x10, 0x10});
        sim_keys({0x2A, 0x1D, 0x38, 0x0E, 0x3A, 0x3B, 0xE0, 0x4B, 0xE0, 0xCB, 0xAA});  // no character
        for (uint8_t make : retry_keys) sim_tap(make);
        // Right before each character key is read, the screen is scribbled on:
        // it ends clean only if every one of them drew it again.
        sim.on_poll = [&] {
            if (sim.out.empty() || !std::count(std::begin(retry_keys), std::end(retry_keys), sim.out.front().value))
                return;
            if (graphics)
                fb.clear(0x5A);
            else
                vga_cells()[1999] = 0x4F21;
        };
        run(MAGIC, graphics ? info_with(tag) : 0);
        sim.on_poll = nullptr;
        if (graphics) {
            EXPECT_TRUE(picture_is_test_pattern(fb));
        }
        EXPECT_TRUE(screen_is(graphics ? overlay(tag) : no_tag_report(true)));
        EXPECT_TRUE(sim.writes.empty());
    }
}

TEST_F(Probe, ROrEscShowsTheMessageThenResets)
{
    const struct {
        const char* what;
        std::vector<uint8_t> keys;
        uint32_t magic;
        bool graphics;
    } cases[] = {
        {"r on the picture", {0x13, 0x93}, MAGIC, true},
        {"ESC on the picture", {0x01, 0x81}, MAGIC, true},
        {"Shift+R on the report: without Shift state, R is r", {0x2A, 0x13}, MAGIC, false},
        {"ESC on the wrong magic's report", {0x01}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset_text();
        TestFb fb(1024, 768, 32);
        for (uint8_t key : c.keys) sim.out.push_back({key, false});
        run<SimReset>(c.magic, c.graphics ? info_with(tag_for(fb)) : 0);
        EXPECT_TRUE(screen_is(REBOOTING));
        EXPECT_EQ(sim_written(0x64), std::vector<uint8_t>{0xFE});
        if (c.graphics) {
            EXPECT_TRUE(picture_is_test_pattern(fb));
        }
    }
}

TEST_F(Probe, WhenTheResetComesBackTheKeyCountsAsAnyOther)
{
    TestFb fb(640, 480, 32);
    const mb2_fb_tag tag = tag_for(fb);
    for (bool graphics : {false, true}) {
        SCOPED_TRACE(graphics ? "picture" : "report");
        reset_text();
        sim.reset_line_works = false;
        sim_tap(graphics ? 0x01 : 0x13);
        run(MAGIC, graphics ? info_with(tag) : 0);
        EXPECT_EQ(sim.int3_calls, 1);  // the reset was tried to the end
        // The report replaces the message; the overlay is drawn under it.
        EXPECT_TRUE(screen_is(graphics ? overlay(tag, REBOOTING) : no_tag_report(true)));
        if (graphics) {
            EXPECT_TRUE(picture_is_test_pattern(fb));
        }
    }
}

}  // namespace
