// Arbitrary key sequences typed into the terminal. No line grows past 87
// characters, nothing indexes the store or the flags past their ends (the
// sanitizers watch), and at the checkpoints the input chooses, and at its
// end, the screen is exactly what a full redraw of the same store and input
// line paints. A wrong repaint stays on the screen until a repaint of the
// same place covers it, so a checkpoint anywhere in between sees it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../teaser/termstore.h"
#include "../../teaser/terminal.h"
#include "../host/support/fbmem.h"
#include "../host/support/oracle.h"
#include "../host/support/sim8042.h"

namespace {

struct Screen {
    uint32_t w, h, bpp, pitch;
};
// Small screens keep each check cheap: no text row at all (74 rows), a row
// band narrower than a whole line, 24 bits per pixel with a padded pitch,
// and a tall one with more text rows than the store has lines. Every Enter
// repaints all of its rows, so it is narrow: what it is for, rows beyond
// the store's last line, does not depend on the width.
const Screen screens[] = {
    {320, 200, 32, 0}, {333, 211, 24, 333 * 3 + 7}, {640, 74, 32, 0},   {400, 300, 32, 0},
    {320, 200, 32, 0}, {333, 211, 24, 333 * 3 + 7}, {400, 300, 32, 0}, {64, 1800, 32, 0},
};

constexpr uint8_t CHECKPOINT = 0xFF;

// What kbd_read_raw may hand the key loop, ESC aside: printable bytes as
// they are, a few codes for Backspace, Tab and Enter, and the other bytes
// spread over Backspace, Enter (about one key in eight, since each Enter
// repaints every row) and the printable characters.
int key_for(uint8_t b)
{
    if (b == 0x80) return 8;
    if (b == 0x81) return 9;
    if (b >= 0x82 && b < 0x90) return 0x0A;
    if (b >= 0x20 && b <= 0x7E) return b;
    if (b % 4 == 0) return 8;
    if (b % 8 == 1) return 0x0A;
    return 0x20 + b % 95;
}

bool line_ok(int l) { return std::memchr(tl[l], 0, TERM_LINE_LEN + 1) != nullptr; }

void check(const TestFb& fb, const term_input& in)
{
    for (int l = 0; l < tc; ++l)
        if (!line_ok(l)) std::abort();
    if (!terminal_differs_from_full_redraw(fb, in).empty()) std::abort();
}

// The opening on each screen is the same every time: it is drawn once, and
// then its picture and the store are copied.
struct Opening {
    std::vector<uint8_t> picture;
    char lines[TERM_LINES][TERM_LINE_LEN + 1];
    int count, rows, scroll;
    uint8_t flags[TERM_LINES + 2];
    term_input in;
};

void open(const TestFb& fb, const Screen& sc, term_input& in)
{
    static Opening openings[sizeof screens / sizeof screens[0]];
    Opening& o = openings[&sc - screens];
    const size_t span = size_t(fb.pitch) * fb.height;
    if (o.picture.empty()) {
        term_open(&o.in);
        o.picture.assign(fb.base, fb.base + span);
        std::memcpy(o.lines, tl, sizeof tl);
        std::memcpy(o.flags, dirty, sizeof dirty);
        o.count = tc, o.rows = tvis, o.scroll = tscroll;
    }
    std::memcpy(fb.base, o.picture.data(), span);
    std::memcpy(tl, o.lines, sizeof tl);
    std::memcpy(dirty, o.flags, sizeof dirty);
    tc = o.count, tvis = o.rows, tscroll = o.scroll;
    in = o.in;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // 300 keys fill the store past its 128 lines twice over (a command
    // answers with up to 9) and a line past its 87 characters three times.
    if (size < 1 || size > 300) return 0;
    const Screen& sc = screens[data[0] % (sizeof screens / sizeof screens[0])];
    const TestFb& fb = reused_test_fb(sc.w, sc.h, sc.bpp, sc.pitch);
    input_reset(sc.w, sc.h);
    sim.reset_line_works = false;  // the reboot command comes back and the loop goes on

    // The tall screen repaints all its rows at every Enter; it reads only
    // the first TALL_KEYS, which still fill the store past its 128 lines
    // (help and Enter add five lines for five keys).
    constexpr size_t TALL_KEYS = 160;
    const size_t end = sc.h > 1000 && size > TALL_KEYS + 1 ? TALL_KEYS + 1 : size;

    term_input in{};
    open(fb, sc, in);
    for (size_t i = 1; i < end; ++i) {
        if (data[i] == CHECKPOINT) {
            check(fb, in);
            continue;
        }
        term_key(&in, key_for(data[i]));
        term_refresh(&in);
        if (in.len < 0 || in.len > TERM_INPUT_MAX || std::strlen(in.text) != size_t(in.len)) std::abort();
        if (tc < 0 || tc > TERM_LINES || tscroll < 0 || tscroll > tc) std::abort();
        if (tc > 0 && !line_ok(tc - 1)) std::abort();
    }
    check(fb, in);
    if (!fb.guards_intact()) std::abort();
    return 0;
}
