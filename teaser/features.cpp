#include "features.h"
#include "colours.h"
#include "draw.h"
#include "font.h"
#include "input.h"

const feature_panel feature_table[4] = {
    {"Core OS", COLOUR_HEADING,
     {"Multiboot2 bare-metal kernel", "Linear 32bpp framebuffer", "Custom pixel font renderer",
      "Virtual memory manager", "Multitasking scheduler"}},
    {"Shell and FS", COLOUR_GOOD,
     {"Port of Quorblen shell", "KLX scripting language", "RAMFS and persistent storage",
      "Pipe and redirect support", "Tab completion and history"}},
    {"Graphics UI", COLOUR_AMBER,
     {"Windowed desktop environment", "Custom widget toolkit", "Theme engine", "Hardware blitter",
      "PNG and BMP image support"}},
    {"Apps", 0xFF8800,
     {"ZOLT programming language", "vemp package manager", "ZOLT Chat multi-user TCP",
      "Text editor and calculator", "ZOLTDOS compatibility layer"}},
};

// Every layer of the grid screen, within the band the clip window holds.
static void features_layers()
{
    const int32_t w = static_cast<int32_t>(FB_W);
    const int32_t h = static_cast<int32_t>(FB_H);
    const int32_t hw = w / 2;
    const int32_t hh = (h - 80) / 2;
    const draw_area band = draw_clip();

    // Black, but not under the header, its rule and the footer band: they
    // cover their rows whole.
    rect(0, 37, w, h - 28 - 37, COLOUR_BLACK);
    if (w > 0) rect(0, 0, w, 36, COLOUR_SHADE);
    draw_str_centered("ORVELIX  -  Upcoming Features", 8, 2, COLOUR_BRIGHT);
    if (w > 0 && h > 36) rect(0, 36, w, 1, COLOUR_RULE);

    for (int p = 0; p < 4; ++p) {
        const feature_panel& panel = feature_table[p];
        const int32_t x0 = (p & 1) ? hw : 0;
        const int32_t y0 = p >= 2 ? hh : 0;
        // A panel reaches from its frame's top row to the last of its item
        // rows or its frame's bottom edge, whichever is lower; on a screen
        // too small for the frame, that edge stands above the top one.
        const int64_t edge = int64_t{y0} + 46 + hh - 9;
        const int64_t first = edge < y0 + 46 ? edge : y0 + 46;
        const int64_t last = edge > y0 + 135 ? edge : y0 + 135;
        if (first >= band.y1 || last < band.y0) continue;
        draw_box(x0 + 10, y0 + 46, hw - 20, hh - 8, panel.colour);
        rect(x0 + 11, y0 + 47, hw - 22, 18, 0x001020);  // empty when W is 45 or less
        draw_str(panel.title, x0 + 18, y0 + 52, 1, panel.colour);
        rect(x0 + 11, y0 + 65, hw - 22, 1, panel.colour);
        for (int k = 0; k < 5 && panel.items[k]; ++k) {
            const int32_t y = y0 + 72 + 14 * k;
            if (y + 7 <= band.y0 || y >= band.y1) continue;  // the item's rows miss the band
            draw_str("> ", x0 + 18, y, 1, panel.colour);
            draw_str(panel.items[k], x0 + 32, y, 1, 0x00AABB);
        }
    }

    if (w > 0) rect(0, h - 28, w, 28, COLOUR_BAR);
    draw_str_centered("ESC - Back", h - 20, 1, COLOUR_BAR_TEXT);
}

void features_draw()
{
    draw_bands(features_layers);
}

void show_features()
{
    features_draw();
    while (kbd_read_raw() != KEY_ESC) {
    }
}
