#include "pattern.h"
#include "../teaser/paging.h"
#include "report.h"
#include "vga.h"

// The framebuffer being drawn on, taken from the tag at each picture.
static uintptr_t fb_base;
static uint32_t fb_pitch;
static uint32_t fb_w;
static uint32_t fb_h;
static uint32_t fb_bytes;  // per pixel: 3 or 4

// A pitch need not be a multiple of four: 32-bit stores may be unaligned.
typedef uint32_t __attribute__((may_alias, aligned(1))) unaligned_u32;

static void use_framebuffer(const mb2_fb_tag* tag)
{
    // The address itself below 4 GiB; above, the window paging mapped.
    fb_base = fb_pointer(tag->addr);
    fb_pitch = tag->pitch;
    fb_w = tag->width;
    fb_h = tag->height;
    fb_bytes = tag->bpp >> 3;
}

void put_pixel(int32_t x, int32_t y, uint32_t colour)
{
    if (static_cast<uint32_t>(x) >= fb_w || static_cast<uint32_t>(y) >= fb_h) return;
    const uintptr_t at = fb_base + uintptr_t{static_cast<uint32_t>(y)} * fb_pitch
                         + uintptr_t{static_cast<uint32_t>(x)} * fb_bytes;
    if (fb_bytes == 4) {
        *reinterpret_cast<volatile unaligned_u32*>(at) = colour;  // B, G, R, 0
    } else {
        auto* p = reinterpret_cast<volatile uint8_t*>(at);
        p[0] = static_cast<uint8_t>(colour);        // blue
        p[1] = static_cast<uint8_t>(colour >> 8);   // green
        p[2] = static_cast<uint8_t>(colour >> 16);  // red
    }
}

void fill_rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    if (w <= 0 || h <= 0) return;
    // Cut the loop bounds to the framebuffer; 64 bits so x + w cannot wrap.
    int64_t x0 = x, y0 = y;
    int64_t x1 = int64_t{x} + w, y1 = int64_t{y} + h;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > fb_w) x1 = fb_w;
    if (y1 > fb_h) y1 = fb_h;
    for (int64_t row = y0; row < y1; ++row)
        for (int64_t col = x0; col < x1; ++col)
            put_pixel(static_cast<int32_t>(col), static_cast<int32_t>(row), colour);
}

void demo_graphics(const mb2_fb_tag* tag)
{
    use_framebuffer(tag);
    const int32_t W = static_cast<int32_t>(fb_w);
    const int32_t H = static_cast<int32_t>(fb_h);
    const int32_t half = static_cast<int32_t>(fb_w / 2);
    int32_t short_bar = static_cast<int32_t>(fb_w / 20);
    if (short_bar > W - 40) short_bar = W - 40;

    fill_rect(0, 0, W, H, 0x000000);            // background
    fill_rect(0, 0, W, 40, 0x00CCCC);           // top bar
    fill_rect(10, 10, 300, 20, 0x003333);       // dark block in the top bar

    // Seven colour bars, 24 pixels high on a 30-pixel step.
    static const uint32_t bars[7] = {0xFF0000, 0xFF8800, 0xFFFF00, 0x00FF00,
                                     0x00FFFF, 0x0088FF, 0xFF00FF};
    for (int32_t i = 0; i < 7; ++i) fill_rect(20, 60 + 30 * i, W - 40, 24, bars[i]);

    fill_rect(20, 290, W - 40, 80, 0x111111);   // dark panel
    fill_rect(30, 300, 60, 60, 0x00FF44);       // green square in it
    fill_rect(110, 300, 200, 14, 0xFFFFFF);     // white line
    fill_rect(110, 318, 150, 14, 0xCCCCCC);     // grey lines
    fill_rect(110, 336, 180, 14, 0xCCCCCC);
    fill_rect(110, 354, 120, 14, 0xCCCCCC);

    fill_rect(half - 80, H - 60, 160, 40, 0x0055AA);  // blue box near the bottom
    fill_rect(half - 70, H - 50, 140, 20, 0x0077DD);  // lighter box inside it
    fill_rect(20, H - 100, short_bar, 12, 0x00FFCC);  // short bar above it
}

void show_graphics_text_overlay(const mb2_fb_tag* tag)
{
    vga_y = 1;
    vga_x = 0;
    vga_puts_col("  FRAMEBUFFER OK  ", VGA_GREEN);
    if (tag->addr >> 32) vga_puts_col("- above 4 GiB, through PAE paging", VGA_GREEN);

    vga_y = 2;
    vga_x = 0;
    vga_puts_col("  Addr: ", VGA_WHITE);
    vga_puthex(static_cast<uint32_t>(tag->addr));

    vga_y = 3;
    vga_x = 0;
    vga_puts_col("  Size: ", VGA_WHITE);
    put_resolution(tag, " ");

    vga_y = 4;
    vga_x = 0;
    vga_puts_col("  Press R=reboot  any key=retry", VGA_WHITE);
}
