// Arbitrary key sequences typed into the terminal. No line grows past 87
// characters, nothing indexes the store or the flags past their ends (the
// sanitizers watch), and after every key the screen is exactly what a full
// redraw of the same store and input line paints.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../teaser/draw.h"
#include "../../teaser/termdraw.h"
#include "../../teaser/terminal.h"
#include "../../teaser/termstore.h"
#include "../host/support/fbmem.h"
#include "../host/support/sim8042.h"

namespace {

struct Screen {
    uint32_t w, h, bpp;
};
// Small screens keep each check cheap; the tall one has more rows than the store.
const Screen screens[] = {{320, 200, 32}, {333, 211, 24}, {640, 74, 32}, {400, 300, 32}, {320, 1800, 32}};

// What kbd_read_raw may hand the key loop, ESC aside.
int key_for(uint8_t b)
{
    if (b == 0x80) return 8;
    if (b == 0x81) return 9;
    if (b >= 0x82 && b < 0x90) return 0x0A;
    if (b >= 0x20 && b <= 0x7E) return b;
    return b & 1 ? 0x0A : 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 600) return 0;
    const Screen& sc = screens[data[0] % (sizeof screens / sizeof screens[0])];
    TestFb fb(sc.w, sc.h, sc.bpp);
    sim_reset();
    sim.reset_line_works = false;  // the reboot command comes back and the loop goes on
    const size_t bytes = size_t(fb.pitch) * fb.height;
    static std::vector<uint8_t> expected;
    expected.resize(bytes);

    term_input in{};
    term_open(&in);
    for (size_t i = 1; i < size; ++i) {
        term_key(&in, key_for(data[i]));
        term_refresh(&in);
        if (in.len < 0 || in.len > TERM_INPUT_MAX || std::strlen(in.text) != size_t(in.len)) std::abort();
        if (tc < 0 || tc > TERM_LINES || tscroll < 0 || tscroll > tc) std::abort();
        for (int l = 0; l < tc; ++l)
            if (std::memchr(tl[l], 0, TERM_LINE_LEN + 1) == nullptr) std::abort();

        std::memcpy(expected.data(), fb.base, bytes);
        term_full_redraw(in.text, in.len);
        if (std::memcmp(expected.data(), fb.base, bytes) != 0) std::abort();
    }
    if (!fb.guards_intact()) std::abort();
    return 0;
}
