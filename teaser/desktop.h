// The desktop: a row of icons between a top and a bottom bar on a dotted
// background, driven by the arrow keys, Enter and the mouse, with the pointer
// on top. The main loop runs it (desktop_run) on Space from the splash.
#pragma once
#include <stdint.h>
#include "colours.h"
#include "features.h"
#include "screens.h"
#include "terminal.h"

// What each icon is, left to right. The row is laid out from this table.
struct desktop_app {
    const char* label;
    uint32_t colour;
    void (*open)();   // returns when the opened screen does
    bool reads_keys;  // the opened screen takes keys, and leaves its ESC in last_sc
};

inline constexpr desktop_app desktop_apps[] = {
    {"SHELL", COLOUR_HEADING, show_terminal, true},
    {"FEATURES", COLOUR_AMBER, show_features, true},
    {"REBOOT", 0xFF6644, reboot_screen, false},
};

constexpr int DESKTOP_ICONS = sizeof desktop_apps / sizeof desktop_apps[0];

struct desktop_icon {
    int32_t x, y, w, h;    // the icon rectangle
    const char* label;
    uint32_t colour;
};

// The loop state, reset on every entry (desktop_enter).
struct desktop_state {
    desktop_icon icons[DESKTOP_ICONS];
    int32_t selection;     // an index into the icons
    int32_t hover;         // icon under the hot spot at the start of the pass, or -1
    int32_t shown_hover;   // the hover as last drawn
    int32_t drawn_x, drawn_y;  // where the pointer was last drawn
    int32_t prev_button;   // the button state of the previous pass
    int32_t redraw;        // a full redraw is due at the next pass
    // Opens the icon of that index and returns when its screen does; null
    // opens what desktop_apps says. A seam for tests.
    void (*open)(int32_t index);
};

// The icons of desktop_apps, laid out for the current framebuffer.
void desktop_icons_init(desktop_icon icons[DESKTOP_ICONS]);

// Index of the first icon whose rectangle holds (x, y), or -1.
int32_t desktop_hit(const desktop_icon icons[DESKTOP_ICONS], int32_t x, int32_t y);

// The whole desktop, with the pointer at (mouse_x, mouse_y).
void desktop_draw(const desktop_icon icons[DESKTOP_ICONS], int32_t selection, int32_t hover, int32_t button);

// One icon in its plain (neither flag) or highlighted look.
void desktop_draw_icon(const desktop_icon& icon, int32_t selected, int32_t hovered);

// Repaints the desktop background (black, dots, bars and their texts) within
// the w x h area at (x, y), writing nothing outside it.
void desktop_background(int32_t x, int32_t y, int32_t w, int32_t h);

// The state of a fresh entry: the first icon selected, no hover, a full
// redraw due.
void desktop_enter(desktop_state& s);

// One pass of the desktop loop. Returns 1 when ESC has left the desktop (its
// picture is still up), else 0.
int desktop_step(desktop_state& s);

// Runs the desktop until ESC and returns; the caller repaints its screen.
void desktop_run();
