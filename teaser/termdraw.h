// Drawing of the terminal screen: a header, text rows showing the newest
// lines of the store, and the prompt line with a block cursor at the bottom.
#pragma once
#include <stdint.h>

// The terminal's geometry. Text rows are TERM_ROW_H pixels apart, glyphs
// 2 rows down inside them; the first starts at TERM_Y_START, under the
// header, and as many follow as fit above the prompt band.
constexpr int32_t TERM_ROW_H = 13;
constexpr int32_t TERM_Y_START = 38;
constexpr int32_t term_visible_rows(int32_t screen_h) { return (screen_h - 62) / TERM_ROW_H; }

// Screen text row `row` showing store line `line`; a line index outside the
// lines in use leaves the row blank.
void term_draw_line(int row, int line);

// The prompt band: "orvelix> ", the input and the cursor block at `cursor`.
void term_draw_prompt(const char* input, int cursor);

// The whole screen; afterwards no line and not the prompt is marked.
void term_full_redraw(const char* input, int cursor);
