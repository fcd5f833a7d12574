// The desktop's repaints at 1024 x 768: one pointer move in open space, one
// whose old square reaches over an icon's edge, one that also changes the
// hover (the icon redrawn whole), a pass without input, and the full redraw.
// Each setup draws the desktop, brings the pointer to its place and feeds
// the first two bytes of the measured packet; the measured pass takes in
// the third byte and repaints.
#include "bench.h"

#include "../teaser/desktop.h"
#include "../teaser/input.h"
#include "../tests/host/support/sim8042.h"

static desktop_state s;

static void packet(int dx, int dy)
{
    sim_mouse({0x08, static_cast<uint8_t>(static_cast<int8_t>(dx)), static_cast<uint8_t>(static_cast<int8_t>(-dy))});
}

static void settle()
{
    while (!sim.out.empty()) desktop_step(s);
    desktop_step(s);  // the hover of the new position is found
}

// The desktop with the pointer at (x, y), then two bytes of a (dx, dy) move.
// The driver has reset the input: the pointer starts in the middle.
static void at(int32_t x, int32_t y, int dx, int dy)
{
    desktop_enter(s);
    desktop_step(s);
    while (mouse_x != x || mouse_y != y) {
        int mx = x - mouse_x, my = y - mouse_y;
        packet(mx > 127 ? 127 : mx < -127 ? -127 : mx, my > 127 ? 127 : my < -127 ? -127 : my);
        settle();
    }
    packet(dx, dy);
    desktop_step(s);
    desktop_step(s);
}

// Icons at 1024 x 768: SHELL 262..401, FEATURES 442..581, REBOOT 622..761,
// rows 319..428; rings 6 pixels around them.
static void open_space() { at(150, 150, 5, 3); }
static void over_edge() { at(250, 380, 4, 0); }      // the square meets SHELL; no hover change
static void hover_change()
{
    at(258, 380, 6, 0);                               // into SHELL, hover found at the next pass
    desktop_step(s);
    sim_mouse({0x08, 0x01, 0x00});                    // then one more pixel: two bytes in
    desktop_step(s);
    desktop_step(s);
}
static void idle()
{
    at(150, 150, 0, 0);
    sim.out.clear();
}
static void pass() { desktop_step(s); }

static void full_setup() { at(512, 384, 0, 0); }
static void full_draw() { desktop_draw(s.icons, 0, 1, 0); }

BENCH_CASE(desktop_move_open_32, 1024, 768, 32, open_space, pass);
BENCH_CASE(desktop_move_icon_edge_32, 1024, 768, 32, over_edge, pass);
BENCH_CASE(desktop_move_hover_change_32, 1024, 768, 32, hover_change, pass);
BENCH_CASE(desktop_idle_pass_32, 1024, 768, 32, idle, pass);
BENCH_CASE(desktop_full_draw_32, 1024, 768, 32, full_setup, full_draw);
