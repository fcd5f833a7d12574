// The terminal's scroll-back: a fixed store of text lines, the scroll
// position, and one repaint flag per line plus one for the prompt.
// Appending never draws; it only marks what the next repaint must draw.
#pragma once
#include <stdint.h>

constexpr int TERM_LINES = 128;               // lines kept; the oldest goes first
constexpr int TERM_LINE_LEN = 87;             // characters per line, without the NUL
constexpr int TERM_PROMPT_FLAG = TERM_LINES;  // dirty flag of the prompt line, after the lines' flags

alignas(4) extern char tl[TERM_LINES][TERM_LINE_LEN + 1];  // oldest line at index 0
extern int tc;               // lines in use, 0..TERM_LINES; the rest is stale
extern int tvis;             // text rows on screen; 0 or less on a tiny screen
extern int tscroll;          // store line shown in the top text row
extern uint8_t dirty[TERM_PROMPT_FLAG + 1];  // by store line, then the prompt

// Appends one line, cut at TERM_LINE_LEN characters; a full store drops its
// oldest. Scrolls to the newest line and marks every line and the prompt.
void term_add(const char* text);

// No lines, scrolled to the top, everything to be repainted. The old texts
// stay in the store but are never drawn again.
void term_empty();

// Text rows that can show a line: tvis, but never past the store's end, so
// with more than TERM_LINES rows on screen the rows below stay blank. 0 when
// tvis is.
int term_rows();
