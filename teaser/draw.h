// The framebuffer record and the drawing primitives every screen is made of.
// Pixels are stored blue, green, red (and a zero byte at 32 bits per pixel);
// nothing is ever written outside the visible area or the clip window.
#pragma once
#include <stdint.h>

extern uint64_t FB_ADDR;  // physical address; drawing uses its low 32 bits
extern uint32_t FB_W;
extern uint32_t FB_H;
extern uint32_t FB_P;     // bytes from one row to the next, may exceed FB_W * bytes per pixel
extern uint8_t FB_BPP;    // 24 or 32

// Paints the w x h rectangle at (x, y). Clipped to the screen and the clip
// window; a width or height of 0 or less draws nothing.
void rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);

// Clears the whole screen to black.
void fill();

// One-pixel outline of the w x h rectangle at (x, y); the inside is left alone.
void draw_box(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);

// The 12 x 12 mouse pointer with its top-left pixel at (x, y).
void draw_cursor(int32_t x, int32_t y, int32_t pressed);

// Restricts all drawing to the w x h area at (x, y), within the screen, until
// the next draw_reset_clip. Lets a screen repaint its layers in a small area.
void draw_set_clip(int32_t x, int32_t y, int32_t w, int32_t h);
void draw_reset_clip();
