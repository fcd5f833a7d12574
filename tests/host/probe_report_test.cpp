// The text-mode result screen: every line for every framebuffer type, for
// no tag and for the wrong magic, compared cell by cell with the layout.
#include "../../fbprobe/report.h"
#include "probe_testing.h"

namespace {

using namespace probe_test;

const char* const TITLE = "  MB2 Framebuffer Experiment  -  Fernquill Studios";
const char* const PROMPT = "Press R to reboot, any key to retry info screen";

// Title bar and the magic line, common to every report.
Screen head(bool magic_ok)
{
    Screen s;
    s.fill_row(0, 0x3F20).put(0, 0, TITLE, 0x3F);
    s.put(2, 2, "Multiboot2 magic:", 0x08);
    if (magic_ok)
        s.put(2, 22, "0x36d76289  CORRECT", 0x0A);
    else
        s.put(2, 22, "WRONG - not booted via Multiboot2!", 0x0C);
    s.put(3, 2, "Framebuffer tag:", 0x08);
    return s;
}

Screen no_tag_screen(bool magic_ok)
{
    Screen s = head(magic_ok);
    s.put(3, 22, "NOT FOUND in Multiboot2 info struct", 0x0C);
    s.put(4, 2, "Result:", 0x08);
    s.put(4, 22, "GRUB did not provide a framebuffer.", 0x0C);
    s.put(5, 22, "This means the hardware or emulator", 0x0E);
    s.put(6, 22, "does not support VESA/UEFI framebuffer.", 0x0E);
    s.put(7, 22, "UTM SE (QEMU TCG) likely lacks VBE support.", 0x0E);
    s.put(9, 2, PROMPT, 0x08);
    return s;
}

Screen tag_screen(const std::string& type_text, uint8_t type_attr, const std::string& addr,
                  const std::string& resolution, const std::string& pitch, bool rgb_status)
{
    Screen s = head(true);
    s.put(3, 22, "FOUND", 0x0A);
    s.put(4, 2, "FB type:", 0x08).put(4, 22, type_text, type_attr);
    s.put(5, 2, "Address:", 0x08).put(5, 22, addr, 0x0F);
    s.put(6, 2, "Resolution:", 0x08).put(6, 22, resolution, 0x0F);
    s.put(7, 2, "Pitch:", 0x08).put(7, 22, pitch + " bytes/row", 0x0F);
    s.put(8, 2, "Status:", 0x08);
    if (rgb_status)
        s.put(8, 22, "LINEAR RGB FB ACTIVE - running graphics demo", 0x0A);
    else
        s.put(8, 22, "Fell back to text/EGA mode (no linear FB)", 0x0E);
    s.put(10, 2, PROMPT, 0x08);
    return s;
}

class Report : public ::testing::Test {
protected:
    void SetUp() override { reset_text(); }
};

TEST_F(Report, RightMagicNoTag)
{
    show_text_result(nullptr, true);
    EXPECT_TRUE(screen_is(no_tag_screen(true)));
    EXPECT_EQ(vga_y, 0);
    EXPECT_EQ(vga_x, 0);
}

TEST_F(Report, WrongMagicNoTag)
{
    show_text_result(nullptr, false);
    EXPECT_TRUE(screen_is(no_tag_screen(false)));
}

TEST_F(Report, EgaTextTag)
{
    auto tag = make_tag(0xB8000, 160, 80, 25, 16, 2);
    show_text_result(&tag, true);
    EXPECT_TRUE(screen_is(tag_screen("EGA TEXT MODE (not a graphics framebuffer)", 0x0E, "0x000B8000",
                                     "80x25 @ 16bpp", "160", false)));
    // Left after the pitch line's unit.
    EXPECT_EQ(vga_y, 7);
    EXPECT_EQ(vga_x, 22 + 3 + 10);
}

TEST_F(Report, IndexedTag)
{
    auto tag = make_tag(0xA0000, 320, 320, 200, 8, 0);
    show_text_result(&tag, true);
    EXPECT_TRUE(screen_is(tag_screen("INDEXED (palette mode)", 0x0E, "0x000A0000", "320x200 @ 8bpp", "320", false)));
}

TEST_F(Report, RgbTagShowsTheActiveStatusEvenWhenRefused)
{
    // 16 bits per pixel does not pass the gate, yet the report goes by the type.
    auto tag = make_tag(0xFD000000, 1600, 800, 600, 16, 1);
    show_text_result(&tag, true);
    EXPECT_TRUE(screen_is(tag_screen("RGB (linear framebuffer)", 0x0A, "0xFD000000", "800x600 @ 16bpp", "1600", true)));
}

TEST_F(Report, UnknownTypes)
{
    for (uint8_t type : {3, 7, 255}) {
        reset_text();
        auto tag = make_tag(0x12345678, 4096, 1024, 768, 32, type);
        show_text_result(&tag, true);
        EXPECT_TRUE(screen_is(tag_screen("UNKNOWN type", 0x0C, "0x12345678", "1024x768 @ 32bpp", "4096", false)))
            << "type " << int(type);
    }
}

TEST_F(Report, OnlyTheLowHalfOfAnAddressAbove4GiB)
{
    auto tag = make_tag(0x00000001FD000000ull, 4096, 1024, 768, 32, 1);
    show_text_result(&tag, true);
    EXPECT_TRUE(screen_is(tag_screen("RGB (linear framebuffer)", 0x0A, "0xFD000000", "1024x768 @ 32bpp", "4096", true)));
}

TEST_F(Report, ExtremeValuesArePrintedAsTheyAre)
{
    auto tag = make_tag(0, 4294967295u, 0, 4294967295u, 255, 1);
    show_text_result(&tag, true);
    EXPECT_TRUE(screen_is(tag_screen("RGB (linear framebuffer)", 0x0A, "0x00000000", "0x4294967295 @ 255bpp",
                                     "4294967295", true)));
}

TEST_F(Report, DrawnTwiceIsTheSameAndWipesEarlierText)
{
    auto tag = make_tag(0xB8000, 160, 80, 25, 16, 2);
    show_text_result(&tag, true);
    Screen first = tag_screen("EGA TEXT MODE (not a graphics framebuffer)", 0x0E, "0x000B8000", "80x25 @ 16bpp",
                              "160", false);
    ASSERT_TRUE(screen_is(first));

    // Overlay lines, a reboot message and stray text elsewhere are all wiped.
    vga_y = 1;
    vga_x = 0;
    vga_puts_col("  FRAMEBUFFER OK  ", 0x0A);
    vga_puts_at(24, 0, "stray", 0x4F);
    show_text_result(&tag, true);
    EXPECT_TRUE(screen_is(first));
}

}  // namespace
