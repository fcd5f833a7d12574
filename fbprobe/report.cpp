#include "report.h"
#include "vga.h"

static constexpr int32_t LABEL_COL = 2;
static constexpr int32_t VALUE_COL = 22;

static void at_value(int32_t row)
{
    vga_y = row;
    vga_x = VALUE_COL;
}

static void show_tag(const mb2_fb_tag* tag)
{
    const uint8_t type = tag->fb_type;

    vga_puts_at(4, LABEL_COL, "FB type:", VGA_GREY);
    if (type == MB2_FB_TYPE_INDEXED)
        vga_puts_at(4, VALUE_COL, "INDEXED (palette mode)", VGA_YELLOW);
    else if (type == MB2_FB_TYPE_RGB)
        vga_puts_at(4, VALUE_COL, "RGB (linear framebuffer)", VGA_GREEN);
    else if (type == MB2_FB_TYPE_EGA_TEXT)
        vga_puts_at(4, VALUE_COL, "EGA TEXT MODE (not a graphics framebuffer)", VGA_YELLOW);
    else
        vga_puts_at(4, VALUE_COL, "UNKNOWN type", VGA_RED);

    vga_puts_at(5, LABEL_COL, "Address:", VGA_GREY);
    at_value(5);
    vga_puthex(static_cast<uint32_t>(tag->addr));  // the low half only

    vga_puts_at(6, LABEL_COL, "Resolution:", VGA_GREY);
    at_value(6);
    put_resolution(tag, " @ ");

    vga_puts_at(7, LABEL_COL, "Pitch:", VGA_GREY);
    at_value(7);
    vga_putdec(tag->pitch);
    vga_puts_col(" bytes/row", VGA_WHITE);

    // An RGB framebuffer is either drawn on or refused by the same gate that
    // chose the screen, and then the report says why.
    vga_puts_at(8, LABEL_COL, "Status:", VGA_GREY);
    if (type != MB2_FB_TYPE_RGB) {
        vga_puts_at(8, VALUE_COL, "Fell back to text/EGA mode (no linear FB)", VGA_YELLOW);
    } else if (const char* why = fb_tag_refusal(tag)) {
        static constexpr char refused[] = "LINEAR RGB FB REFUSED - ";
        vga_puts_at(8, VALUE_COL, refused, VGA_YELLOW);
        vga_puts_at(8, VALUE_COL + sizeof refused - 1, why, VGA_YELLOW);
    } else {
        vga_puts_at(8, VALUE_COL, "LINEAR RGB FB ACTIVE - running graphics demo", VGA_GREEN);
    }

    vga_puts_at(10, LABEL_COL, "Press R to reboot, any key to retry info screen", VGA_GREY);
}

static void show_no_tag()
{
    vga_puts_at(4, LABEL_COL, "Result:", VGA_GREY);
    vga_puts_at(4, VALUE_COL, "GRUB did not provide a framebuffer.", VGA_RED);
    vga_puts_at(5, VALUE_COL, "This means the hardware or emulator", VGA_YELLOW);
    vga_puts_at(6, VALUE_COL, "does not support VESA/UEFI framebuffer.", VGA_YELLOW);
    vga_puts_at(7, VALUE_COL, "UTM SE (QEMU TCG) likely lacks VBE support.", VGA_YELLOW);
    vga_puts_at(9, LABEL_COL, "Press R to reboot, any key to retry info screen", VGA_GREY);
}

void put_resolution(const mb2_fb_tag* tag, const char* between)
{
    vga_putdec(tag->width);
    vga_puts_col("x", VGA_WHITE);
    vga_putdec(tag->height);
    vga_puts_col(between, VGA_WHITE);
    vga_putdec(tag->bpp);
    vga_puts_col("bpp", VGA_WHITE);
}

void show_text_result(const mb2_fb_tag* tag, bool magic_ok)
{
    vga_clear();

    // Title bar across the whole top row.
    for (int32_t col = 0; col < VGA_COLS; ++col) vga_puts_at(0, col, " ", VGA_TITLE);
    vga_puts_at(0, 0, "  MB2 Framebuffer Experiment  -  Fernquill Studios", VGA_TITLE);

    vga_puts_at(2, LABEL_COL, "Multiboot2 magic:", VGA_GREY);
    if (magic_ok)
        vga_puts_at(2, VALUE_COL, "0x36d76289  CORRECT", VGA_GREEN);
    else
        vga_puts_at(2, VALUE_COL, "WRONG - not booted via Multiboot2!", VGA_RED);

    vga_puts_at(3, LABEL_COL, "Framebuffer tag:", VGA_GREY);
    if (tag) {
        vga_puts_at(3, VALUE_COL, "FOUND", VGA_GREEN);
        show_tag(tag);
    } else {
        vga_puts_at(3, VALUE_COL, "NOT FOUND in Multiboot2 info struct", VGA_RED);
        show_no_tag();
    }
}
