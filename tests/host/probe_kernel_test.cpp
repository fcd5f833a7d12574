// The probe's key reader and its whole run on the host: the magic check,
// the tag walk, the graphics gate at its limits, the retry on a character
// key and the reset on R, r or ESC. The simulated controller ends a run by
// throwing SimExhausted once its script is used up, or SimReset on 0xFE.
#include "../../fbprobe/kernel.h"
#include "../../teaser/keymap.h"
#include "probe_testing.h"

namespace {

using namespace probe_test;

constexpr uint32_t MAGIC = 0x36D76289;

// ---- kbd_getchar ----------------------------------------------------------

class Getchar : public ::testing::Test {
protected:
    void SetUp() override { sim_reset(); }
};

// The characters of the unshifted US layout, by make code, as documented.
std::vector<uint8_t> documented_map()
{
    std::vector<uint8_t> m(128, 0);
    auto row = [&](uint8_t first, const char* chars) {
        for (int i = 0; chars[i]; ++i) m[first + i] = uint8_t(chars[i]);
    };
    row(0x02, "1234567890-=");
    m[0x0F] = '\t';
    row(0x10, "qwertyuiop[]");
    m[0x1C] = '\n';
    row(0x1E, "asdfghjkl;'`");
    row(0x2B, "\\zxcvbnm,./");
    m[0x37] = '*';
    m[0x39] = ' ';
    return m;
}

TEST_F(Getchar, TheMapIsTheTeasersUnshiftedMap)
{
    auto m = documented_map();
    for (int code = 0; code < 128; ++code) EXPECT_EQ(map_lo[code], m[code]) << std::hex << code;
}

TEST_F(Getchar, EveryMakeCode)
{
    auto m = documented_map();
    for (int code = 0; code < 128; ++code) {
        sim_reset();
        sim_keys({uint8_t(code), 0x1E});  // then 'a', which ends the wait for codes without a character
        uint8_t want = code == 0x01 ? 27 : (m[code] ? m[code] : 'a');
        EXPECT_EQ(kbd_getchar(), want) << std::hex << code;
        EXPECT_EQ(sim.out.size(), want == 'a' && code != 0x1E ? 0u : 1u) << std::hex << code;
    }
}

TEST_F(Getchar, IgnoresEveryRelease)
{
    for (int code = 0x80; code < 0x100; ++code) sim_keys({uint8_t(code)});
    sim_keys({0x30});  // b
    EXPECT_EQ(kbd_getchar(), 'b');
    EXPECT_TRUE(sim.out.empty());
}

TEST_F(Getchar, ExtendedKeysAreSeenByTheirSecondByte)
{
    sim_keys({0xE0, 0x4B, 0xE0, 0xCB,    // Left arrow, press and release: nothing
              0xE0, 0x48, 0xE0, 0x47,    // Up, Home: nothing
              0xE0, 0x1D, 0xE0, 0x38,    // right Ctrl, right Alt: nothing
              0xE0, 0x1C,                // keypad Enter
              0xE0, 0x35});              // keypad slash
    EXPECT_EQ(kbd_getchar(), '\n');
    EXPECT_EQ(kbd_getchar(), '/');
    EXPECT_TRUE(sim.out.empty());
}

TEST_F(Getchar, KeysWithoutACharacterAreSkipped)
{
    // Shift, Ctrl, Alt, Backspace, Caps Lock, F1, F10, F12, keypad 7, 5 and Del.
    sim_keys({0x2A, 0x36, 0x1D, 0x38, 0x0E, 0x3A, 0x3B, 0x44, 0x58, 0x47, 0x4C, 0x53, 0x7F, 0x00});
    sim_keys({0x2A, 0x13, 0xAA});  // Shift is not remembered: Shift+R gives r
    EXPECT_EQ(kbd_getchar(), 'r');
}

TEST_F(Getchar, EveryMouseByteIsDroppedWhateverItsValue)
{
    for (int b = 0; b < 0x100; ++b) sim_mouse({uint8_t(b)});  // among them 0x01 (ESC) and 0x13 (R)
    sim_keys({0x1F});
    EXPECT_EQ(kbd_getchar(), 's');
    EXPECT_TRUE(sim.out.empty());
}

TEST_F(Getchar, MouseBytesBetweenKeyBytes)
{
    sim_keys({0xE0});
    sim_mouse({0x08, 0x01});
    sim_keys({0x4B});
    sim_mouse({0x39});
    sim_keys({0x39});
    EXPECT_EQ(kbd_getchar(), ' ');
}

TEST_F(Getchar, WaitsUntilSomethingComes)
{
    EXPECT_THROW(kbd_getchar(), SimExhausted);
    sim_reset();
    sim_keys({0x9E, 0x2A});
    sim_mouse({0x1E});
    EXPECT_THROW(kbd_getchar(), SimExhausted);
    EXPECT_TRUE(sim.out.empty());
}

TEST_F(Getchar, NeverWritesToTheController)
{
    sim_keys({0x2A, 0x01});
    sim_mouse({0xFA});
    sim_keys({0x1C});
    EXPECT_EQ(kbd_getchar(), 27);
    EXPECT_EQ(kbd_getchar(), '\n');
    EXPECT_TRUE(sim.writes.empty());
}

// ---- kernel_main ----------------------------------------------------------

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

Screen title_and_magic_for_tag()
{
    Screen s;
    s.fill_row(0, 0x3F20).put(0, 0, "  MB2 Framebuffer Experiment  -  Fernquill Studios", 0x3F);
    s.put(2, 2, "Multiboot2 magic:", 0x08).put(2, 22, "0x36d76289  CORRECT", 0x0A);
    s.put(3, 2, "Framebuffer tag:", 0x08).put(3, 22, "FOUND", 0x0A);
    return s;
}

bool report_shows_tag()
{
    return vga_row_text(3).substr(22, 5) == "FOUND" && vga_row_text(0).substr(2, 3) == "MB2";
}

bool report_shows_no_tag()
{
    return vga_row_text(3).substr(22, 35) == "NOT FOUND in Multiboot2 info struct";
}

bool shows_overlay(const std::string& size)
{
    Screen want;
    with_overlay(want, "", "");
    for (int r = 1; r <= 4; ++r)
        if (vga_cells()[80 * r] != want.cells[80 * r]) return false;
    return vga_row_text(1).substr(0, 18) == "  FRAMEBUFFER OK  " && vga_row_text(3).substr(8, size.size()) == size;
}

std::string hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

TEST_F(Probe, GraphicsModeDrawsThePictureAndTheOverlayOnly)
{
    TestFb fb(1024, 768, 32);
    BootInfo bi;
    bi.add_tag(1, {'c', 'm', 'd', 0});  // other tags are skipped
    bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, 1024, 768, 32);
    bi.end();
    run(MAGIC, bi.place());
    EXPECT_TRUE(picture_is_test_pattern(fb));
    Screen want;  // cleared at start, then the four rows
    EXPECT_TRUE(screen_is(with_overlay(want, hex(uint32_t(reinterpret_cast<uintptr_t>(fb.base))), "1024x768 32bpp")));
    EXPECT_TRUE(sim.writes.empty());
}

TEST_F(Probe, GraphicsModeAt24Bits)
{
    TestFb fb(800, 600, 24, 2432);
    BootInfo bi;
    bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, 800, 600, 24);
    bi.end();
    run(MAGIC, bi.place());
    EXPECT_TRUE(picture_is_test_pattern(fb));
    EXPECT_TRUE(shows_overlay("800x600 24bpp"));
}

TEST_F(Probe, WrongMagicReportsWithoutLookingAtTheInformation)
{
    TestFb fb(1024, 768, 32);
    // An address that cannot be read: the walk must not happen.
    run(0x2BADB002, 0x00000010);
    EXPECT_TRUE(report_shows_no_tag());
    EXPECT_EQ(vga_row_text(2).substr(22, 34), "WRONG - not booted via Multiboot2!");
    EXPECT_EQ(cell(2, 22) >> 8, 0x0C);

    reset_text();
    BootInfo bi;
    bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, 1024, 768, 32);
    bi.end();
    run(0x36D76288, bi.place());
    EXPECT_TRUE(report_shows_no_tag());
    EXPECT_EQ(fb.written_pixels(), 0u);
}

TEST_F(Probe, NoInformationOrNoTagGivesTheNoTagReport)
{
    run(MAGIC, 0);
    EXPECT_TRUE(report_shows_no_tag());
    EXPECT_EQ(vga_row_text(2).substr(22, 19), "0x36d76289  CORRECT");

    reset_text();
    BootInfo bi;
    bi.add_tag(6, std::vector<uint8_t>(40, 0));
    bi.end();
    run(MAGIC, bi.place());
    EXPECT_TRUE(report_shows_no_tag());
}

TEST_F(Probe, TextHandOffGivesTheEgaReport)
{
    BootInfo bi;
    bi.add_fb(0xB8000, 160, 80, 25, 16, 2);
    bi.end();
    run(MAGIC, bi.place());
    Screen want = title_and_magic_for_tag();
    want.put(4, 2, "FB type:", 0x08).put(4, 22, "EGA TEXT MODE (not a graphics framebuffer)", 0x0E);
    want.put(5, 2, "Address:", 0x08).put(5, 22, "0x000B8000", 0x0F);
    want.put(6, 2, "Resolution:", 0x08).put(6, 22, "80x25 @ 16bpp", 0x0F);
    want.put(7, 2, "Pitch:", 0x08).put(7, 22, "160 bytes/row", 0x0F);
    want.put(8, 2, "Status:", 0x08).put(8, 22, "Fell back to text/EGA mode (no linear FB)", 0x0E);
    want.put(10, 2, "Press R to reboot, any key to retry info screen", 0x08);
    EXPECT_TRUE(screen_is(want));
}

// Graphics or text mode for one framebuffer tag: true when the picture was drawn.
struct GateCase {
    uint32_t w, h;
    uint8_t bpp, type;
    bool graphics;
};

TEST_F(Probe, TheGateAtItsLimits)
{
    const GateCase cases[] = {
        {320, 200, 24, 1, true},  {320, 200, 32, 1, true},  {319, 200, 24, 1, false},
        {320, 199, 24, 1, false}, {320, 200, 16, 1, false}, {320, 200, 8, 1, false},
        {320, 200, 31, 1, false}, {1024, 768, 32, 0, false}, {1024, 768, 32, 2, false},
        {1024, 768, 32, 3, false},
    };
    for (const auto& c : cases) {
        reset_text();
        TestFb fb(c.w, c.h, c.bpp >= 24 ? c.bpp / 8 * 8 : 32);
        BootInfo bi;
        bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, c.w, c.h, c.bpp, c.type);
        bi.end();
        run(MAGIC, bi.place());
        std::string what = std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.bpp) +
                           " type " + std::to_string(c.type);
        if (c.graphics) {
            EXPECT_TRUE(picture_is_test_pattern(fb)) << what;
            EXPECT_TRUE(shows_overlay(std::to_string(c.w) + "x" + std::to_string(c.h) + " " + std::to_string(c.bpp) + "bpp"))
                << what;
        } else {
            EXPECT_EQ(fb.written_pixels(), 0u) << what;
            EXPECT_TRUE(fb.guards_intact()) << what;
            EXPECT_TRUE(report_shows_tag()) << what;
        }
    }
}

TEST_F(Probe, ZeroAddressIsRefused)
{
    BootInfo bi;
    bi.add_fb(0, 4096, 1024, 768, 32);
    bi.end();
    run(MAGIC, bi.place());
    EXPECT_TRUE(report_shows_tag());
    EXPECT_EQ(vga_row_text(5).substr(22, 10), "0x00000000");
    EXPECT_EQ(vga_row_text(8).substr(22, 44), "LINEAR RGB FB ACTIVE - running graphics demo");
}

TEST_F(Probe, FramebuffersOutOfReachOfA32BitAddressGetTheReport)
{
    TestFb fb(640, 480, 32);
    const uint64_t low = reinterpret_cast<uintptr_t>(fb.base);
    // Above 4 GiB, with the low half naming the test framebuffer: a cut-down
    // address would draw into it.
    for (uint64_t addr : {(uint64_t{1} << 32) | low, (uint64_t{0xFF} << 32) | low}) {
        reset_text();
        BootInfo bi;
        bi.add_fb(addr, fb.pitch, 640, 480, 32);
        bi.end();
        run(MAGIC, bi.place());
        EXPECT_TRUE(report_shows_tag());
        EXPECT_EQ(vga_row_text(5).substr(22, 10), hex(uint32_t(low)));
        EXPECT_EQ(fb.written_pixels(), 0u);
    }
    // Starting below 4 GiB but running past it.
    reset_text();
    BootInfo bi;
    bi.add_fb(0xFFF00000, 4096, 1024, 768, 32);
    bi.end();
    run(MAGIC, bi.place());
    EXPECT_TRUE(report_shows_tag());
}

TEST_F(Probe, TheLastOfSeveralFramebufferTagsCounts)
{
    TestFb fb(640, 480, 32);
    BootInfo bi;
    bi.add_fb(0xB8000, 160, 80, 25, 16, 2);
    bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), 640 * 4, 320, 200, 32);
    bi.end();
    run(MAGIC, bi.place());
    EXPECT_TRUE(shows_overlay("320x200 32bpp"));
    EXPECT_TRUE(fb.written(319, 199));
    EXPECT_FALSE(fb.written(320, 0));
}

TEST_F(Probe, AMalformedTagEndsTheWalk)
{
    TestFb fb(640, 480, 32);
    BootInfo bi;
    bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, 640, 480, 32);
    bi.add_tag(4, {}, 4);  // size below 8
    bi.add_fb(0xB8000, 160, 80, 25, 16, 2);
    bi.end();
    run(MAGIC, bi.place());
    EXPECT_TRUE(shows_overlay("640x480 32bpp"));
    EXPECT_TRUE(picture_is_test_pattern(fb));
}

TEST_F(Probe, TheWalkStaysInsideTheInformation)
{
    // A total size that ends inside the framebuffer tag: the tag does not
    // count, and nothing past the end is read (the next page is unmapped).
    BootInfo bi;
    bi.add_fb(0xFD000000, 4096, 1024, 768, 32);
    uint32_t info = bi.place(8 + 16);
    run(MAGIC, info);
    EXPECT_TRUE(report_shows_no_tag());
}

TEST_F(Probe, CharacterKeysRedrawTheSameScreen)
{
    TestFb fb(640, 480, 24);
    BootInfo bi;
    bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, 640, 480, 24);
    bi.end();
    sim_tap(0x39);  // space
    sim_tap(0x1C);  // Enter
    sim_tap(0x0F);  // Tab
    sim_tap(0x1E);  // a
    sim_tap(0x02);  // 1
    sim_mouse({0x08, 0x10, 0x10});
    sim_keys({0x2A, 0x1D, 0x38, 0x0E, 0x3A, 0x3B, 0xE0, 0x4B, 0xE0, 0xCB, 0xAA});
    run(MAGIC, bi.place());
    EXPECT_TRUE(sim.out.empty());
    EXPECT_TRUE(picture_is_test_pattern(fb));
    Screen want;
    EXPECT_TRUE(screen_is(with_overlay(want, hex(uint32_t(reinterpret_cast<uintptr_t>(fb.base))), "640x480 24bpp")));
    EXPECT_TRUE(sim.writes.empty());
}

TEST_F(Probe, CharacterKeysRedrawTheReport)
{
    sim_tap(0x39);
    sim_tap(0x10);
    run(MAGIC, 0);
    EXPECT_TRUE(report_shows_no_tag());
    EXPECT_EQ(vga_row_text(9).substr(2, 5), "Press");
}

// The reboot message alone, in white, with the cursor on the next row.
Screen rebooting_screen()
{
    return Screen().put(0, 0, "Rebooting...", 0x0F);
}

TEST_F(Probe, RResetsTheMachineAfterTheMessage)
{
    for (uint8_t make : {uint8_t(0x13), uint8_t(0x01)}) {  // r (R: no Shift state), ESC
        reset_text();
        TestFb fb(1024, 768, 32);
        BootInfo bi;
        bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, 1024, 768, 32);
        bi.end();
        sim_tap(make);
        run<SimReset>(MAGIC, bi.place());
        EXPECT_TRUE(screen_is(rebooting_screen())) << int(make);
        EXPECT_EQ(vga_y, 1);
        EXPECT_EQ(vga_x, 0);
        // The waiting release is drained, then the reset line pulsed.
        EXPECT_TRUE(sim.out.empty());
        EXPECT_EQ(sim_written(0x64), std::vector<uint8_t>{0xFE});
        EXPECT_TRUE(picture_is_test_pattern(fb));
    }
}

TEST_F(Probe, ShiftedROrEscFromTheReportResetsToo)
{
    sim_keys({0x2A, 0x13});
    run<SimReset>(MAGIC, 0);
    EXPECT_TRUE(screen_is(rebooting_screen()));

    reset_text();
    sim_keys({0x01});
    run<SimReset>(0, 0);
    EXPECT_TRUE(screen_is(rebooting_screen()));
}

TEST_F(Probe, WhenTheResetComesBackTheScreenIsDrawnAgain)
{
    // Text mode: the report replaces the message.
    sim.reset_line_works = false;
    sim_tap(0x13);
    run(MAGIC, 0);
    EXPECT_TRUE(report_shows_no_tag());
    EXPECT_EQ(sim.lidt_calls, 1);
    EXPECT_EQ(sim.int3_calls, 1);

    // Graphics mode: the overlay comes back under the message in row 0.
    reset_text();
    sim.reset_line_works = false;
    TestFb fb(640, 480, 32);
    BootInfo bi;
    bi.add_fb(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, 640, 480, 32);
    bi.end();
    sim_tap(0x01);
    run(MAGIC, bi.place());
    Screen want = rebooting_screen();
    EXPECT_TRUE(screen_is(with_overlay(want, hex(uint32_t(reinterpret_cast<uintptr_t>(fb.base))), "640x480 32bpp")));
    EXPECT_TRUE(picture_is_test_pattern(fb));
}

}  // namespace
