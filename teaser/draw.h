// The framebuffer record and the drawing primitives every screen is made of.
// Pixels are stored blue, green, red (and a zero byte at 32 bits per pixel);
// nothing is ever written outside the visible area or the clip window.
#pragma once
#include <stdint.h>

extern uint64_t FB_ADDR;   // physical address, all 64 bits
extern uintptr_t FB_BASE;  // where drawing finds its first byte: FB_ADDR below 4 GiB, else its window (paging.h)
extern uint32_t FB_W;
extern uint32_t FB_H;
extern uint32_t FB_P;     // bytes from one row to the next, may exceed FB_W * bytes per pixel
extern uint8_t FB_BPP;    // 24 or 32

inline int64_t max64(int64_t a, int64_t b) { return a > b ? a : b; }
inline int64_t min64(int64_t a, int64_t b) { return a < b ? a : b; }

// Paints the w x h rectangle at (x, y). Clipped to the screen and the clip
// window; a width or height of 0 or less draws nothing.
void rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);

// Paints the scale x scale square at (x + i * scale, y) for every bit i set
// in `bits`, clipped as rect is. At scale 1 the bits are cut to the clip
// window's columns and each left is one store; at larger scales each run of
// bits is one strip. Text costs a call per glyph row of several characters,
// not a rect per lit pixel.
void draw_bits(int64_t x, int64_t y, uint64_t bits, int32_t scale, uint32_t colour);

// Clears the whole screen to black.
void fill();

// One-pixel outline of the w x h rectangle at (x, y); the inside is left alone.
void draw_box(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);

// The mouse pointer, a CURSOR_SIZE square with its top-left pixel at (x, y).
constexpr int32_t CURSOR_SIZE = 12;
void draw_cursor(int32_t x, int32_t y, int32_t pressed);

// Restricts all drawing to the w x h area at (x, y), within the screen, until
// the next draw_reset_clip. Lets a screen repaint its layers in a small area.
void draw_set_clip(int32_t x, int32_t y, int32_t w, int32_t h);
void draw_reset_clip();

// A half-open area: columns x0 .. x1 - 1, rows y0 .. y1 - 1.
struct draw_area {
    int64_t x0, y0, x1, y1;
};

// The area drawing may reach now: the clip window cut to the screen.
draw_area draw_clip();

// Nested clip windows. Entering cuts the window to the w x h area at (x, y)
// and returns the window it replaced; leaving puts that one back.
draw_area draw_clip_enter(int64_t x, int64_t y, int64_t w, int64_t h);
void draw_clip_leave(const draw_area& was);

// A whole screen is painted band by band, from the top: the band being
// painted is the only part that shows neither the old picture nor the new.
constexpr int32_t DRAW_BAND = 16;

// Calls paint(), which draws every layer of a picture, once for each band of
// at most DRAW_BAND rows of the clip window, top to bottom, with the window
// cut to that band. The window is restored after each band, so the painter
// may nest windows of its own. Layers that miss a band should cost next to
// nothing: rect and text return early.
template <typename Paint>
void draw_bands(const Paint& paint)
{
    const draw_area a = draw_clip();
    if (a.x0 >= a.x1) return;
    for (int64_t y = a.y0; y < a.y1; y += DRAW_BAND) {
        const draw_area was = draw_clip_enter(a.x0, y, a.x1 - a.x0, DRAW_BAND);
        paint();
        draw_clip_leave(was);
    }
}

// The dot grid of the splash and the desktop: a 2 x 2 square at every
// multiple of 32 in both directions, rows of dots outermost. Only the dots
// that meet the clip window are visited.
void draw_dots(uint32_t colour);
