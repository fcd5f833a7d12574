// The graphics test: a fixed picture of filled rectangles in the linear
// framebuffer, and four lines about the framebuffer in the VGA text buffer.
#pragma once
#include <stdint.h>
#include "../teaser/bootinfo.h"

// Paints the whole test picture into the framebuffer of `tag`, which must
// have passed fb_tag_usable. Rectangles are cut at the framebuffer's edges.
void demo_graphics(const mb2_fb_tag* tag);

// Rows 1 to 4 of the VGA text buffer: "FRAMEBUFFER OK", address, size, keys.
void show_graphics_text_overlay(const mb2_fb_tag* tag);

// Drawing on the framebuffer that demo_graphics last took up (none before
// its first call). Colours are 0x00RRGGBB, stored blue, green, red (and the
// top byte at 32 bits per pixel). Nothing outside columns 0..W-1 and rows
// 0..H-1 is ever written; a width or height of 0 or less draws nothing.
void put_pixel(int32_t x, int32_t y, uint32_t colour);
void fill_rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
