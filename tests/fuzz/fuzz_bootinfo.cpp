// Arbitrary bytes as boot information, placed right before an unreadable
// page: the walk and the framebuffer checks must never read past its end.
// Whatever record the gate accepts must then be drawable to its last pixel:
// the teaser runs from kernel_main through every screen (boot log, splash
// with its curtain, terminal, feature grid, desktop and reboot screen) at
// that geometry, and writes nothing outside the framebuffer or into the
// padding of its rows.
//
// Drawing depends only on the width, height, pitch and depth, not on the
// address, so it is done at the test framebuffer, and once per geometry:
// once below 4 GiB and, for a record above it, once more through the page
// tables, the test framebuffer standing for RAM at 0xF8_E000_0000. The
// simulated processor has 52-bit physical addresses, so that any record
// above 4 GiB whose framebuffer fits the window is accepted; the tables for
// its own address are then checked at the first and the last byte, and the
// tag must stay where it is.
// Geometries up to 640 x 480 pixels are drawn as they are. A larger one is
// checked against the relations its drawing relies on, and drawn as a
// stand-in of at most 640 pixels across that shares what could matter to
// the bounds, once per kind:
//  - every pixel store goes through rect, which clips its loop bounds to
//    the width and height in 64-bit arithmetic and then addresses a pixel
//    at y * pitch + x * bytes in 32-bit arithmetic: for x < W and y < H that
//    offset stays below (H - 1) * pitch + W * bytes, which the gate keeps
//    below 4 GiB minus the address, or within the 1 GiB window above 4 GiB,
//    so no store wraps or leaves the span;
//  - the screens compute their coordinates in int32 from W and H (centres,
//    bar rows, H - 62 for the terminal's rows, loops stepping by 32 up to W
//    or H): with both at most INT32_MAX - 4096 none of that overflows;
//  - a kind is the depth, the pitch (0, overlapping rows, exact, or padded,
//    with the padding modulo 4), and the layouts that change with size:
//    the icon row inside the screen (500 pixels across), icon rings under
//    the top bar (below 212 rows), more terminal rows than the store has
//    lines (1,739 rows), odd widths and heights. The stand-in keeps W
//    modulo 96 and H modulo 256 or 416 (the dot grid's 32, the glyph
//    cell's 6, the terminal row's 13) as well.
// Each drawn geometry costs a few milliseconds; the records the walk
// refuses or the gate turns down, most inputs, cost microseconds.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "../../teaser/bootinfo.h"
#include "../../teaser/kernel.h"
#include "../../teaser/paging.h"
#include "../host/support/fbmem.h"
#include "../host/support/oracle.h"
#include "../host/support/sim8042.h"
#include "../host/support/simcpu.h"

namespace {

struct Geometry {
    uint32_t w, h, pitch, bpp;
    bool high;  // drawn above 4 GiB, through paging
    auto key() const { return std::array<uint32_t, 5>{w, h, pitch, bpp, high}; }
    uint64_t row() const { return uint64_t{w} * (bpp / 8); }
    // From the first byte to one past the last pixel of the last row.
    uint64_t span() const { return uint64_t{h - 1} * pitch + row(); }
};

constexpr int64_t COORD_MAX = INT32_MAX - 4096;
constexpr uint64_t EXACT_PIXELS = 640 * 480;
constexpr uint32_t TALL = 1739;  // (H - 62) / 13 above the store's 128 lines

bool fits(const Geometry& g) { return g.span() + 2 * FB_TEST_GUARD <= FB_TEST_WINDOW; }

bool drawn_as_is(const Geometry& g) { return uint64_t{g.w} * g.h <= EXACT_PIXELS && fits(g); }

uint32_t fold(uint32_t v, uint32_t cap, uint32_t period)
{
    return v <= cap ? v : cap - period + (v - cap) % period;
}

int pitch_kind(const Geometry& g)
{
    const int64_t pad = int64_t{g.pitch} - int64_t(g.row());
    if (g.pitch == 0) return 0;
    if (pad < 0) return 1;
    if (pad == 0) return 2;
    return 3 + int(pad % 4);
}

std::array<uint32_t, 5> kind(const Geometry& g)
{
    return {g.bpp, uint32_t(pitch_kind(g)), uint32_t(g.w >= 500) | uint32_t(g.w % 2) << 1,
            uint32_t(g.h < 212) | uint32_t(g.h >= TALL) << 1 | uint32_t(g.h % 2) << 2, g.high};
}

Geometry stand_in(const Geometry& g)
{
    Geometry s{fold(g.w, 640, 96), g.h >= TALL ? fold(g.h, TALL + 416, 416) : fold(g.h, 480, 256), 0, g.bpp, g.high};
    const int64_t pad = int64_t{g.pitch} - int64_t(g.row());
    const uint32_t row = uint32_t(s.row());
    if (g.pitch == 0) {
        s.pitch = 0;
    } else if (pad < 0) {  // rows overlap: keep that, and the pitch if it fits
        s.pitch = g.pitch < row ? g.pitch : row - 1 - uint32_t((-pad - 1) % 64);
    } else {
        s.pitch = row + (pad == 0 ? 0 : 1 + uint32_t((pad - 1) % 64));
    }
    return s;
}

// The keys that take the teaser through every screen once the boot log and
// the curtain are over, ending on the reboot screen.
void script()
{
    sim_tap(0x14);  // T: the terminal
    sim_type("help\ngraphics\nquorblen\n");
    for (int i = 0; i < 9; ++i) sim_type("0123456789");  // past the input's 86 characters
    sim_type("\n");
    sim_tap(0x01);  // ESC: back to the splash
    sim_tap(0x21);  // F: the feature grid
    sim_tap(0x01);
    sim_tap(0x39);  // Space: the desktop
    for (int i = 0; i < 12; ++i) sim_mouse({0x08, 0x7F, 0x81});  // to the bottom right corner
    for (int i = 0; i < 12; ++i) sim_mouse({0x08, 0x81, 0x7F});  // and back to the top left
    sim_mouse({0x08, 0x05, 0x00});
    sim_keys({0xE0, 0x4D, 0xE0, 0xCD, 0xE0, 0x4D, 0xE0, 0xCD});  // right twice: REBOOT
    sim_tap(0x1C);  // Enter: the reboot screen, and the reset
}

bool untouched(const uint8_t* p, uint64_t n)
{
    static uint8_t canary[4096];
    if (canary[0] != FB_CANARY) std::memset(canary, FB_CANARY, sizeof canary);
    for (uint64_t at = 0; at < n; at += sizeof canary)
        if (std::memcmp(p + at, canary, std::min<uint64_t>(n - at, sizeof canary)) != 0) return false;
    return true;
}

// Boots the teaser on a framebuffer of this geometry in the test window and
// drives it through every screen; aborts if anything lands outside the
// framebuffer or the run does not end on the reset.
void draw_everything(const Geometry& g)
{
    static const TestFb window(320, 200);  // maps the window
    uint8_t* const start = reinterpret_cast<uint8_t*>(FB_TEST_BASE);
    uint8_t* const fb = start + FB_TEST_GUARD;
    const uint64_t span = g.span(), row = g.row();
    std::memset(start, FB_CANARY, span + 2 * FB_TEST_GUARD);

    constexpr uint64_t HIGH_RAM = 0xF8E0000000ull;
    sim_cpu_high_ram(HIGH_RAM, start, FB_TEST_WINDOW);
    const uint64_t at = g.high ? HIGH_RAM + FB_TEST_GUARD : reinterpret_cast<uintptr_t>(fb);
    BootInfo bi;
    bi.add_fb(at, g.pitch, g.w, g.h, uint8_t(g.bpp));
    bi.end();
    const uint32_t info = bi.place();

    input_reset();
    // The script waits until the mouse is set up, or the set-up would read
    // the keys as its answers: the boot log's first pause comes after it.
    sim.on_poll = [armed = false]() mutable {
        if (armed || sim.pauses.empty()) return;
        armed = true;
        script();
    };
    bool reset = false;
    try {
        kernel_main(MB2_BOOT_MAGIC, info);
    } catch (const SimReset&) {
        reset = true;
    } catch (const SimExhausted&) {
    }
    sim.on_poll = nullptr;
    if (!reset) {
        std::fprintf(stderr, "%ux%u pitch %u at %u bits%s: the run did not end on the reboot screen's reset\n", g.w,
                     g.h, g.pitch, g.bpp, g.high ? " above 4 GiB" : "");
        std::abort();
    }

    bool inside = untouched(start, FB_TEST_GUARD) && untouched(fb + span, FB_TEST_GUARD);
    if (g.pitch > row)
        for (uint32_t y = 0; inside && y + 1 < g.h; ++y) inside = untouched(fb + uint64_t{y} * g.pitch + row, g.pitch - row);
    // The reboot screen cleared everything: the first and the last pixel too.
    const uint32_t bytes = g.bpp / 8;
    const bool covered = !untouched(fb, bytes) && !untouched(fb + span - bytes, bytes);
    if (!inside || !covered) {
        std::fprintf(stderr, "%ux%u pitch %u at %u bits: %s\n", g.w, g.h, g.pitch, g.bpp,
                     inside ? "the last screen did not reach every pixel" : "written outside the framebuffer");
        std::abort();
    }
}

// The tables for the record's own address, read back through the simulated
// processor: the first and the last byte where drawing puts them, the
// pages around them unmapped, the tag as itself.
void check_tables(uint64_t addr, uint64_t span, const mb2_fb_tag* tag)
{
    static pae_tables* const t = new pae_tables;
    const uint64_t tag_at = reinterpret_cast<uintptr_t>(tag);
    const pae_map map = pae_plan(addr, span, tag_at, tag->size, cpu_paging_read(), t, reinterpret_cast<uintptr_t>(t));
    if (map.refusal) {
        std::fprintf(stderr, "%#llx + %#llx: accepted, then refused: %s\n", (unsigned long long)addr,
                     (unsigned long long)span, map.refusal);
        std::abort();
    }
    const uintptr_t saved = sim_cpu.pdpt;
    sim_cpu.pdpt = reinterpret_cast<uintptr_t>(t->pdpt);
    const uint32_t first = map.address, last = uint32_t(map.address + span - 1);
    const uint32_t before = (first & ~0xFFFu) - 1, after = (last | 0xFFFu) + 1;
    bool ok = sim_cpu_translate(first) == addr && sim_cpu_translate(last) == addr + span - 1 &&
              (before % (1u << 30) == (1u << 30) - 1 || sim_cpu_translate(before) == UINT64_MAX) &&
              (after % (1u << 30) == 0 || sim_cpu_translate(after) == UINT64_MAX);
    if (tag_at < (uint64_t{1} << 32)) ok = ok && sim_cpu_translate(uint32_t(tag_at)) == tag_at;
    sim_cpu.pdpt = saved;
    if (!ok) {
        std::fprintf(stderr, "%#llx + %#llx: the tables put it elsewhere\n", (unsigned long long)addr,
                     (unsigned long long)span);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x8000) return 0;
    static const bool wide = (sim_cpu_wide(52), true);
    (void)wide;
    BootInfo bi;
    bi.bytes.assign(data, data + size);
    if (bi.bytes.size() < 8) bi.bytes.resize(8);
    uint32_t total;
    std::memcpy(&total, bi.bytes.data(), 4);
    // Keep the declared size within what is mapped: the walk trusts it.
    uint32_t size32 = uint32_t(bi.bytes.size());
    uint32_t declared = total && total <= size32 ? total : size32;
    uint32_t info = bi.place(declared);

    const mb2_fb_tag* tag = mb2_find_fb_tag(info);
    if (!tag) return 0;
    // In 64 bits, so that a 32-bit program checks the same.
    const uint64_t start = info, end = start + declared;
    const uint64_t at = reinterpret_cast<uintptr_t>(tag);
    if (at < start + 8 || at + tag->size > end || tag->size < MB2_FB_TAG_MIN_SIZE || (at - start) % 8) std::abort();
    if (!fb_tag_usable(tag)) return 0;

    const uint64_t addr = tag->addr;
    const Geometry g{tag->width, tag->height, tag->pitch, tag->bpp, addr >= uint64_t{1} << 32};
    if (addr == 0 || tag->fb_type != 1 || (g.bpp != 24 && g.bpp != 32) || g.w < 320 || g.h < 200) std::abort();
    // The relations the drawing relies on (see the top of this file).
    if (g.high ? g.span() > PAGING_GIB || addr + g.span() > uint64_t{1} << 52 : addr + g.span() > uint64_t{1} << 32)
        std::abort();
    if (g.high) check_tables(addr, g.span(), tag);
    if (g.w > COORD_MAX || g.h > COORD_MAX) {
        std::fprintf(stderr, "%ux%u pitch %u: accepted, but the screens' coordinates overflow int32\n", g.w, g.h, g.pitch);
        std::abort();
    }

    static std::set<std::array<uint32_t, 5>> drawn, kinds;
    if (drawn_as_is(g)) {
        if (drawn.insert(g.key()).second) draw_everything(g);
    } else if (kinds.insert(kind(g)).second) {
        const Geometry d = stand_in(g);
        if (kind(d) != kind(g) || !fits(d)) std::abort();
        draw_everything(d);
    }
    return 0;
}
