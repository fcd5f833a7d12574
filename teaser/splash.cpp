#include "splash.h"
#include "colours.h"
#include "draw.h"
#include "font.h"

int32_t splash_cy;

// Every layer of the splash, for the rows the clip window lets through.
static void splash_layers()
{
    const int32_t w = static_cast<int32_t>(FB_W);
    const int32_t h = static_cast<int32_t>(FB_H);
    const int32_t cx = w / 2;
    const int32_t sy = splash_cy;

    // Black, but not under the bottom bar, which covers its rows whole, nor
    // under the panels.
    rect(0, 0, w, sy - 50, COLOUR_BLACK);
    rect(0, sy - 50, cx - 210, 100, COLOUR_BLACK);
    rect(cx + 210, sy - 50, w - cx - 210, 100, COLOUR_BLACK);
    rect(0, sy + 50, w, h - 32 - sy - 50, COLOUR_BLACK);
    draw_dots(0x001818);

    // The nested panels, each 10 pixels inside the one around it: the outer
    // two as frames around the next, so that each pixel is painted once.
    static const uint32_t panel[3] = {COLOUR_PANEL, 0x002828, 0x003636};
    for (int32_t i = 0; i < 2; ++i) {
        const int32_t left = cx - 210 + 10 * i, top = sy - 50 + 10 * i;
        const int32_t pw = 420 - 20 * i, ph = 100 - 20 * i;
        rect(left, top, pw, 10, panel[i]);
        rect(left, top + 10, 10, ph - 20, panel[i]);
        rect(left + pw - 10, top + 10, 10, ph - 20, panel[i]);
        rect(left, top + ph - 10, pw, 10, panel[i]);
    }
    rect(cx - 190, sy - 30, 380, 60, panel[2]);
    draw_str("ORVELIX", cx - 168, sy - 28, 8, COLOUR_BRIGHT);
    splash_accent(COLOUR_NAME);
    draw_str_centered("Coming end of 2027", sy + 46, 2, 0x00AAAA);
    draw_str_centered("Fernquill Studios", sy + 80, 1, COLOUR_FAINT);

    rect(0, h - 32, w, 32, COLOUR_BAR);
    draw_str_centered("SPACE - Desktop   F - Features   T - Terminal   R - Reboot", h - 22, 1, COLOUR_BAR_TEXT);
}

void draw_splash()
{
    splash_cy = static_cast<int32_t>(FB_H) / 2 - 30;
    draw_bands(splash_layers);
}

void splash_accent(uint32_t colour)
{
    rect(static_cast<int32_t>(FB_W) / 2 - 170, splash_cy + 32, 340, 2, colour);
}
