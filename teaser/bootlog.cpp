#include "bootlog.h"
#include "colours.h"
#include "draw.h"
#include "font.h"
#include "machine.h"
#include "splash.h"

static char* append(char* out, const char* text)
{
    while (*text) *out++ = *text++;
    *out = '\0';
    return out;
}

static char* append_number(char* out, uint32_t value)
{
    char digits[11];
    sitoa(value, digits);
    return append(out, digits);
}

struct log_line {
    const char* text;  // null: the framebuffer line
    int32_t y;
    uint32_t colour;
    int32_t pause;
};

static const log_line log_lines[] = {
    {"> Multiboot2 handoff ............ OK", 40, COLOUR_GOOD, 120},
    {"> Memory map parsed ............. OK", 56, COLOUR_GOOD, 80},
    {"> Framebuffer tag located ....... OK", 72, COLOUR_GOOD, 80},
    {nullptr, 88, COLOUR_HEADING, 100},
    {"> Pixel renderer ................ OK", 104, COLOUR_GOOD, 80},
    {"> Font renderer ................. OK", 120, COLOUR_GOOD, 80},
    {"> Keyboard + shift/caps ......... OK", 136, COLOUR_GOOD, 80},
    {"> PIT timer ..................... OK", 152, COLOUR_GOOD, 60},
};

void boot_log(const mb2_fb_tag* tag)
{
    const int32_t rule = static_cast<int32_t>(FB_W) - 40;
    fill();
    draw_str("ORVELIX", 20, 14, 2, COLOUR_NAME);
    draw_str("Fernquill Studios", 114, 18, 1, COLOUR_DIM);
    rect(20, 30, rule, 1, 0x003333);

    // The depth shown is the one the header asks for, whatever was granted.
    char fb_line[64] = {};
    char* p = append(fb_line, "> Framebuffer: ");
    p = append_number(p, tag->width);
    p = append(p, "x");
    p = append_number(p, tag->height);
    p = append(p, "x32 @ ");
    p = append_number(p, tag->pitch);
    append(p, "B/r");

    for (const log_line& line : log_lines) {
        draw_str(line.text ? line.text : fb_line, 24, line.y, 1, line.colour);
        pit_wait(line.pause);
    }

    rect(20, 172, rule, 1, 0x003333);
    draw_str("> ORVELIX kernel loaded .......... OK", 24, 180, 1, COLOUR_NAME);
    pit_wait(100);
    draw_str("> Launching splash...", 24, 204, 1, COLOUR_FAINT);
    pit_wait(400);
}

void splash_curtain()
{
    const int32_t w = static_cast<int32_t>(FB_W);
    const int32_t h = static_cast<int32_t>(FB_H);
    // Step k leaves the top h - k*h/20 rows black and shows the splash below
    // them; each step paints only the rows it uncovers, band by band from
    // the top. The first one then blacks out the boot log above its curtain
    // line: each pixel there is written once, with its final value.
    int32_t covered = h;
    for (int32_t k = 1; k <= 20; ++k) {
        int32_t top = h - static_cast<int32_t>(static_cast<int64_t>(k) * h / 20);
        if (top < covered) {
            draw_set_clip(0, top, w, covered - top);
            draw_splash();
            draw_reset_clip();
        }
        if (k == 1) rect(0, 0, w, top, COLOUR_BLACK);
        covered = top;
        pit_wait(20);
    }
}
