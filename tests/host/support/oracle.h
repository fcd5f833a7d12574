// Checks shared by the host tests and the fuzz targets of the teaser: a
// fresh input state, a pixel comparison of two pictures, and the oracle of
// every incremental repaint, a full redraw of the state the screen shows,
// drawn into a second picture beside the test framebuffer.
//
// Header only: the probe's tests link the same support files but none of
// the teaser's screens.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "../../../teaser/desktop.h"
#include "../../../teaser/draw.h"
#include "../../../teaser/hid.h"
#include "../../../teaser/input.h"
#include "../../../teaser/termdraw.h"
#include "../../../teaser/terminal.h"
#include "../../../teaser/termstore.h"
#include "fbmem.h"
#include "sim8042.h"

// A fresh controller with an empty script, and the reader's state as at
// boot on a w x h screen: no scancode, no Shift, no Caps Lock, the pointer
// at the centre with the button up and no packet begun. The defaults are
// the kernel's own start values, those of an 800 x 600 screen.
inline void input_reset(uint32_t w = 800, uint32_t h = 600)
{
    sim_reset();
    ps2_present = true;
    kbd_second_source = nullptr;
    hid_key_clear();
    last_sc = 0;
    kbd_shift = kbd_caps = 0;
    mouse_max_x = int32_t(w) - 1;
    mouse_max_y = int32_t(h) - 1;
    mouse_x = int32_t(w / 2);
    mouse_y = int32_t(h / 2);
    mouse_btn = 0;
    mouse_cycle = 0;  // the packet buffer is refilled from its first byte on
}

// A test framebuffer of this geometry for a fuzz input. One that passed
// left every canary as it was, so the last input's framebuffer is used
// again, without filling it afresh, when the geometry is the same and the
// framebuffer record still points at it.
inline const TestFb& reused_test_fb(uint32_t w, uint32_t h, uint32_t bpp, uint32_t pitch = 0)
{
    static std::optional<TestFb> fb;
    const uint32_t p = pitch ? pitch : w * (bpp / 8);
    if (!fb || fb->width != w || fb->height != h || fb->bpp != bpp || fb->pitch != p ||
        FB_ADDR != reinterpret_cast<uintptr_t>(fb->base) || FB_BASE != reinterpret_cast<uintptr_t>(fb->base) || FB_W != w || FB_H != h || FB_P != p || FB_BPP != bpp)
        fb.emplace(w, h, bpp, pitch);
    return *fb;
}

// A second picture of fb's geometry, past fb and its guard in the same
// mapped window.
inline uint8_t* second_picture(const TestFb& fb)
{
    const size_t span = size_t(fb.pitch) * fb.height;
    if (2 * span + 3 * FB_TEST_GUARD > FB_TEST_WINDOW) {
        std::fprintf(stderr, "no room for a second %ux%u picture\n", fb.width, fb.height);
        std::abort();
    }
    return fb.base + span + FB_TEST_GUARD;
}

// Empty when the visible pixels of the pictures at `got` and `want`, both
// of fb's geometry, are the same; else the first pixel that differs, in
// both, and how many differ. Row padding is not compared.
inline std::string picture_diff(const TestFb& fb, const uint8_t* got, const uint8_t* want)
{
    const size_t row = size_t(fb.width) * fb.bytes_pp();
    // Rows without padding are one block.
    if (fb.pitch == row && std::memcmp(got, want, row * fb.height) == 0) return {};
    std::string first;
    uint64_t count = 0;
    for (uint32_t y = 0; y < fb.height; ++y) {
        const uint8_t* a = got + size_t(y) * fb.pitch;
        const uint8_t* b = want + size_t(y) * fb.pitch;
        if (std::memcmp(a, b, row) == 0) continue;
        for (uint32_t x = 0; x < fb.width; ++x) {
            const size_t at = size_t(x) * fb.bytes_pp();
            if (std::memcmp(a + at, b + at, fb.bytes_pp()) == 0) continue;
            if (!count) {
                auto rgb = [](const uint8_t* p) { return unsigned(p[0]) | unsigned(p[1]) << 8 | unsigned(p[2]) << 16; };
                char buf[96];
                std::snprintf(buf, sizeof buf, "pixel (%u, %u) is %06X, not %06X", x, y, rgb(a + at), rgb(b + at));
                first = buf;
            }
            ++count;
        }
    }
    if (!count) return {};
    return first + "; " + std::to_string(count) + " pixels differ";
}

// Runs `redraw` into the second picture and compares the screen with it:
// empty when they are the same. The screen itself is not touched.
template <class Redraw>
std::string differs_from_full_redraw(const TestFb& fb, Redraw&& redraw)
{
    uint8_t* const want = second_picture(fb);
    const uint64_t screen = FB_ADDR;
    const uintptr_t base = FB_BASE;
    FB_ADDR = FB_BASE = reinterpret_cast<uintptr_t>(want);
    redraw();
    FB_ADDR = screen;
    FB_BASE = base;
    return picture_diff(fb, fb.base, want);
}

// The desktop as the loop last drew it: the pointer at its drawn position
// in the look of the previous button, the shown hover and the selection.
inline std::string desktop_differs_from_full_draw(const TestFb& fb, const desktop_state& s)
{
    const int32_t x = mouse_x, y = mouse_y;
    mouse_x = s.drawn_x;
    mouse_y = s.drawn_y;
    std::string diff = differs_from_full_redraw(fb, [&] { desktop_draw(s.icons, s.selection, s.shown_hover, s.prev_button); });
    mouse_x = x;
    mouse_y = y;
    if (!diff.empty()) diff += "; pointer drawn at " + std::to_string(s.drawn_x) + "," + std::to_string(s.drawn_y);
    return diff;
}

// The terminal as it shows the store, the scroll position and the input
// line. A full redraw clears the repaint flags: they are kept as they were,
// so that checking changes nothing the next refresh does.
inline std::string terminal_differs_from_full_redraw(const TestFb& fb, const term_input& in)
{
    uint8_t flags[sizeof dirty];
    std::memcpy(flags, dirty, sizeof dirty);
    std::string diff = differs_from_full_redraw(fb, [&] { term_full_redraw(in.text, in.len); });
    std::memcpy(dirty, flags, sizeof dirty);
    return diff;
}
