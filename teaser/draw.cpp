#include "draw.h"
#include "colours.h"

uint64_t FB_ADDR;
uintptr_t FB_BASE;
uint32_t FB_W;
uint32_t FB_H;
uint32_t FB_P;
uint8_t FB_BPP;

// Clip window as half-open bounds; the screen's own edges apply on top.
static int64_t clip_x0 = 0, clip_y0 = 0;
static int64_t clip_x1 = INT64_MAX, clip_y1 = INT64_MAX;

#ifdef ORVELIX_STORE_HOOK
// Only the benchmarks' replay build has this: it sees every store to video
// memory, just after it, to follow a repaint moment by moment.
extern "C" void draw_store_hook(const uint8_t* p, uint32_t bytes);
static inline void stored(const uint8_t* p, uint32_t bytes) { draw_store_hook(p, bytes); }
#else
static inline void stored(const uint8_t*, uint32_t) {}
#endif

// Stores that may land on any byte: 24-bit rows are written a word at a
// time, and a pitch need not keep 32-bit rows aligned. Each is one move.
static inline void store32(uint8_t* p, uint32_t v)
{
    __builtin_memcpy(p, &v, 4);
    stored(p, 4);
}
static inline void store16(uint8_t* p, uint16_t v)
{
    __builtin_memcpy(p, &v, 2);
    stored(p, 2);
}
static inline void store8(uint8_t* p, uint8_t v)
{
    *p = v;
    stored(p, 1);
}

static inline __attribute__((always_inline)) void row32(uint8_t* p, uint32_t n, uint32_t colour)
{
    uint8_t* end8 = p + 4 * (n & ~7u);
    while (p != end8) {
        store32(p, colour);      store32(p + 4, colour);  store32(p + 8, colour);  store32(p + 12, colour);
        store32(p + 16, colour); store32(p + 20, colour); store32(p + 24, colour); store32(p + 28, colour);
        p += 32;
    }
    for (uint32_t i = 0; i < (n & 7u); ++i, p += 4) store32(p, colour);
}

// Four pixels are twelve bytes: B G R B | G R B G | R B G R.
static inline __attribute__((always_inline)) void row24(uint8_t* p, uint32_t n, uint32_t colour)
{
    const uint32_t w0 = (colour & 0xFFFFFF) | (colour << 24);
    const uint32_t w1 = ((colour >> 8) & 0xFFFF) | (colour << 16);
    const uint32_t w2 = ((colour >> 16) & 0xFF) | (colour << 8);
    uint8_t* end4 = p + 12 * (n >> 2);
    while (p != end4) {
        store32(p, w0);
        store32(p + 4, w1);
        store32(p + 8, w2);
        p += 12;
    }
    for (uint32_t i = 0; i < (n & 3u); ++i, p += 3) {
        store16(p, static_cast<uint16_t>(colour));
        store8(p + 2, static_cast<uint8_t>(colour >> 16));
    }
}

void rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    if (w <= 0 || h <= 0) return;
    // Clip the loop bounds once; the cost then follows the visible area only.
    const int64_t x0 = max64(max64(x, 0), clip_x0);
    const int64_t y0 = max64(max64(y, 0), clip_y0);
    const int64_t x1 = min64(min64(int64_t{x} + w, FB_W), clip_x1);
    const int64_t y1 = min64(min64(int64_t{y} + h, FB_H), clip_y1);
    if (x0 >= x1 || y0 >= y1) return;

    const uint32_t pitch = FB_P;
    const uint32_t bytes = FB_BPP / 8;
    const uint32_t n = static_cast<uint32_t>(x1 - x0);
    uint32_t rows = static_cast<uint32_t>(y1 - y0);
    uint8_t* row = reinterpret_cast<uint8_t*>(FB_BASE)
                   + static_cast<uint32_t>(y0) * pitch + static_cast<uint32_t>(x0) * bytes;
    if (bytes == 4) {
        for (; rows; --rows, row += pitch) row32(row, n, colour);
    } else {
        for (; rows; --rows, row += pitch) row24(row, n, colour);
    }
}

void draw_bits(int64_t x, int64_t y, uint64_t bits, int32_t scale, uint32_t colour)
{
    if (scale <= 0 || !bits) return;
    const draw_area a = draw_clip();
    const int64_t y0 = max64(y, a.y0);
    const int64_t y1 = min64(y + scale, a.y1);
    if (y0 >= y1) return;

    const uint32_t pitch = FB_P;
    const uint32_t bytes = FB_BPP / 8;
    const uint32_t rows = static_cast<uint32_t>(y1 - y0);
    uint8_t* const top = reinterpret_cast<uint8_t*>(FB_BASE) + static_cast<uint32_t>(y0) * pitch;
    if (scale == 1) {
        // One row, a pixel per bit: keep the bits of the window's columns
        // and store each that is left.
        const int64_t lo = a.x0 - x, hi = a.x1 - x;
        if (hi <= 0 || lo >= 64) return;
        if (lo > 0) bits &= ~uint64_t{0} << lo;
        if (hi < 64) bits &= (uint64_t{1} << hi) - 1;
        while (bits) {
            uint8_t* p = top + static_cast<uint32_t>(x + __builtin_ctzll(bits)) * bytes;
            bits &= bits - 1;
            if (bytes == 4) {
                store32(p, colour);
            } else {
                store16(p, static_cast<uint16_t>(colour));
                store8(p + 2, static_cast<uint8_t>(colour >> 16));
            }
        }
        return;
    }
    int64_t cell = 0;
    while (bits) {
        const int gap = __builtin_ctzll(bits);
        bits >>= gap;
        cell += gap;
        const int run = bits == ~uint64_t{0} ? 64 : __builtin_ctzll(~bits);
        bits = run == 64 ? 0 : bits >> run;
        const int64_t x0 = max64(x + cell * scale, a.x0);
        const int64_t x1 = min64(x + (cell + run) * scale, a.x1);
        cell += run;
        if (x0 >= a.x1) return;
        if (x0 >= x1) continue;
        const uint32_t n = static_cast<uint32_t>(x1 - x0);
        uint8_t* row = top + static_cast<uint32_t>(x0) * bytes;
        if (bytes == 4) {
            for (uint32_t i = rows; i; --i, row += pitch) row32(row, n, colour);
        } else {
            for (uint32_t i = rows; i; --i, row += pitch) row24(row, n, colour);
        }
    }
}

void fill()
{
    rect(0, 0, static_cast<int32_t>(FB_W), static_cast<int32_t>(FB_H), COLOUR_BLACK);
}

void draw_box(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    // Far edges in wrap-around arithmetic, as the pixel rule sees them.
    const int32_t bottom = static_cast<int32_t>(static_cast<uint32_t>(y) + static_cast<uint32_t>(h) - 1);
    const int32_t right = static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(w) - 1);
    if (w > 0) {
        rect(x, y, w, 1, colour);
        rect(x, bottom, w, 1, colour);
    }
    if (h > 0) {
        rect(x, y, 1, h, colour);
        rect(right, y, 1, h, colour);
    }
}

void draw_cursor(int32_t x, int32_t y, int32_t pressed)
{
    const uint32_t face = pressed ? COLOUR_AMBER : COLOUR_BRIGHT;
    rect(x, y, CURSOR_SIZE, CURSOR_SIZE, COLOUR_BLACK);
    rect(x + 1, y + 1, CURSOR_SIZE - 2, CURSOR_SIZE - 2, face);
    rect(x + 4, y + 4, 4, 4, COLOUR_PANEL);
}

void draw_set_clip(int32_t x, int32_t y, int32_t w, int32_t h)
{
    clip_x0 = x;
    clip_y0 = y;
    clip_x1 = int64_t{x} + (w > 0 ? w : 0);
    clip_y1 = int64_t{y} + (h > 0 ? h : 0);
}

void draw_reset_clip()
{
    clip_x0 = clip_y0 = 0;
    clip_x1 = clip_y1 = INT64_MAX;
}

draw_area draw_clip()
{
    return {max64(clip_x0, 0), max64(clip_y0, 0), min64(clip_x1, FB_W), min64(clip_y1, FB_H)};
}

draw_area draw_clip_enter(int64_t x, int64_t y, int64_t w, int64_t h)
{
    const draw_area was{clip_x0, clip_y0, clip_x1, clip_y1};
    clip_x0 = max64(clip_x0, x);
    clip_y0 = max64(clip_y0, y);
    clip_x1 = min64(clip_x1, x + (w > 0 ? w : 0));
    clip_y1 = min64(clip_y1, y + (h > 0 ? h : 0));
    return was;
}

void draw_clip_leave(const draw_area& was)
{
    clip_x0 = was.x0;
    clip_y0 = was.y0;
    clip_x1 = was.x1;
    clip_y1 = was.y1;
}

void draw_dots(uint32_t colour)
{
    const draw_area a = draw_clip();
    // The first dot row and column whose square reaches into the window.
    const int64_t first_y = a.y0 <= 1 ? 0 : (a.y0 - 1 + 31) / 32 * 32;
    const int64_t first_x = a.x0 <= 1 ? 0 : (a.x0 - 1 + 31) / 32 * 32;
    for (int64_t y = first_y; y < a.y1; y += 32)
        for (int64_t x = first_x; x < a.x1; x += 32) rect(static_cast<int32_t>(x), static_cast<int32_t>(y), 2, 2, colour);
}
