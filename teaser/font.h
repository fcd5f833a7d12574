// The built-in 5x7 font: capitals, digits and a little punctuation, drawn
// transparently at a whole-number scale in 6-pixel cells.
#pragma once
#include <stdint.h>

constexpr int FONT_GLYPHS = 51;
extern const uint8_t font5x7[FONT_GLYPHS][5];  // column bytes, bit 0 the top row

// Glyph number for a character; lower case shares the capitals, anything
// without a shape of its own gets the blank glyph.
int font_glyph(uint8_t ch);

void draw_char(uint8_t ch, int32_t x, int32_t y, int32_t scale, uint32_t colour);
void draw_str(const char* text, int32_t x, int32_t y, int32_t scale, uint32_t colour);
// Centred on the screen's width; note there is no x and y comes first.
void draw_str_centered(const char* text, int32_t y, int32_t scale, uint32_t colour);
// The column draw_str_centered starts the text at.
int32_t str_centered_x(const char* text, int32_t scale);

// Unsigned decimal with a NUL; buffer needs 11 bytes.
void sitoa(uint32_t value, char* buffer);
