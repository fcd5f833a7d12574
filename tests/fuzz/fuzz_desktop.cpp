// Arbitrary keyboard and mouse bytes through the desktop loop, one poll per
// pass as on the machine. Whenever no full redraw is pending, the screen is
// exactly a full desktop_draw of the state it shows.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../teaser/desktop.h"
#include "../../teaser/draw.h"
#include "../../teaser/input.h"
#include "../host/support/fbmem.h"
#include "../host/support/sim8042.h"

namespace {

struct Screen {
    uint32_t w, h, bpp;
};
const Screen screens[] = {{320, 200, 32}, {333, 211, 24}, {640, 480, 32}, {800, 600, 24}};

int opened;
void open_nothing(int32_t) { ++opened; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 2000) return 0;
    const Screen& sc = screens[data[0] % (sizeof screens / sizeof screens[0])];
    TestFb fb(sc.w, sc.h, sc.bpp);
    const size_t bytes = size_t(fb.pitch) * fb.height;
    uint8_t* ref = fb.base + bytes + 2 * FB_TEST_GUARD;  // a second picture, further up the window
    const uint64_t screen_addr = FB_ADDR;

    sim_reset();
    last_sc = 0;
    kbd_shift = kbd_caps = 0;
    mouse_max_x = int32_t(sc.w) - 1;
    mouse_max_y = int32_t(sc.h) - 1;
    mouse_x = int32_t(sc.w) / 2;
    mouse_y = int32_t(sc.h) / 2;
    mouse_btn = 0;
    mouse_cycle = 0;

    desktop_state s;
    desktop_enter(s);
    s.open = open_nothing;
    // Each byte is one pass: the low bit says whether the next byte comes
    // from the mouse or the keyboard; a pass may also find nothing.
    for (size_t i = 1; i + 1 < size; i += 2) {
        if (!(data[i] & 2)) {
            if (data[i] & 1) {
                sim_mouse({data[i + 1]});
            } else {
                sim_keys({data[i + 1]});
            }
        }
        sim.idle_reads = 0;
        if (desktop_step(s)) {
            desktop_enter(s);  // ESC went to the splash; Space comes back afresh
            s.open = open_nothing;
            continue;
        }
        if (s.redraw) continue;
        const int32_t mx = mouse_x, my = mouse_y;
        FB_ADDR = reinterpret_cast<uintptr_t>(ref);
        mouse_x = s.drawn_x;
        mouse_y = s.drawn_y;
        desktop_draw(s.icons, s.selection, s.shown_hover, s.prev_button);
        FB_ADDR = screen_addr;
        mouse_x = mx;
        mouse_y = my;
        if (std::memcmp(ref, fb.base, bytes) != 0) std::abort();
        if (mouse_x < 0 || mouse_x >= int32_t(sc.w) || mouse_y < 0 || mouse_y >= int32_t(sc.h)) std::abort();
    }
    if (!fb.guards_intact()) std::abort();
    return 0;
}
