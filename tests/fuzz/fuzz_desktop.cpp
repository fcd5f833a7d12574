// Arbitrary keyboard and mouse bytes through the desktop loop, one poll per
// pass as on the machine. At the checkpoints the input chooses, and at its
// end, the screen is exactly a full desktop_draw of the state it shows:
// incremental repaints leave the picture a full redraw makes. A wrong
// repaint lasts until a full redraw covers it, so a checkpoint anywhere
// between the two sees it; comparing after every pass finds nothing more.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../teaser/desktop.h"
#include "../../teaser/input.h"
#include "../host/support/fbmem.h"
#include "../host/support/oracle.h"
#include "../host/support/sim8042.h"

namespace {

struct Screen {
    uint32_t w, h, bpp, pitch;
};
// Small screens with what makes a repaint hard: an icon row wider than the
// screen whose rings reach the top bar (below 212 rows), a row that fits,
// 24 bits per pixel, odd widths and padded or odd pitches.
const Screen screens[] = {
    {320, 200, 32, 0},
    {333, 211, 24, 333 * 3 + 5},
    {512, 240, 32, 0},
    {507, 230, 24, 507 * 3 + 1},
};

int opened;
void open_nothing(int32_t) { ++opened; }

void check(const TestFb& fb, const desktop_state& s)
{
    if (!desktop_differs_from_full_draw(fb, s).empty()) std::abort();
}

// A fresh entry on each screen, up to the first pass's full redraw with
// nothing waiting, is the same every time: it is drawn once and copied.
struct Entry {
    std::vector<uint8_t> picture;
    desktop_state s;
};

void enter(const TestFb& fb, const Screen& sc, desktop_state& s)
{
    static Entry entries[sizeof screens / sizeof screens[0]];
    Entry& e = entries[&sc - screens];
    const size_t span = size_t(fb.pitch) * fb.height;
    input_reset(sc.w, sc.h);
    if (e.picture.empty()) {
        desktop_enter(e.s);
        e.s.open = open_nothing;
        desktop_step(e.s);
        e.picture.assign(fb.base, fb.base + span);
        input_reset(sc.w, sc.h);
    }
    std::memcpy(fb.base, e.picture.data(), span);
    s = e.s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 1024) return 0;
    const Screen& sc = screens[data[0] % (sizeof screens / sizeof screens[0])];
    const TestFb& fb = reused_test_fb(sc.w, sc.h, sc.bpp, sc.pitch);
    desktop_state s;
    enter(fb, sc, s);
    // Each pair of bytes is one pass. The first byte of a pair: 0xF0 and
    // above ask for a check after the pass; bit 1 set means nothing waits;
    // else bit 0 says whether the second byte comes from the mouse or the
    // keyboard.
    for (size_t i = 1; i + 1 < size; i += 2) {
        const uint8_t how = data[i];
        if (!(how & 2)) (how & 1 ? sim_mouse : sim_keys)({data[i + 1]});
        sim.idle_reads = 0;
        if (desktop_step(s)) {
            desktop_enter(s);  // ESC went to the splash; Space comes back afresh
            s.open = open_nothing;
            continue;
        }
        if (mouse_x < 0 || mouse_x >= int32_t(sc.w) || mouse_y < 0 || mouse_y >= int32_t(sc.h)) std::abort();
        if (s.selection < 0 || s.selection >= DESKTOP_ICONS || s.shown_hover < -1 || s.shown_hover >= DESKTOP_ICONS)
            std::abort();
        if (how >= 0xF0 && !s.redraw) check(fb, s);
    }
    // A full redraw still due is the next pass's first work.
    sim.out.clear();
    sim.idle_reads = 0;
    if (s.redraw) desktop_step(s);
    check(fb, s);
    if (!fb.guards_intact()) std::abort();
    return 0;
}
