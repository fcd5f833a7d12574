// Drawing of the terminal screen: a header, text rows showing the newest
// lines of the store, and the prompt line with a block cursor at the bottom.
#pragma once
#include <stdint.h>

// Screen text row `row` showing store line `line`; a line index outside the
// lines in use leaves the row blank.
void term_draw_line(int row, int line);

// The prompt band: "orvelix> ", the input and the cursor block at `cursor`.
void term_draw_prompt(const char* input, int cursor);

// The whole screen; afterwards no line and not the prompt is marked.
void term_full_redraw(const char* input, int cursor);
