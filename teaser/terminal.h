// The mini terminal: a one-line prompt answering a fixed set of commands,
// over the scroll-back store (termstore.h) and its drawing (termdraw.h).
#pragma once

// Runs the terminal until ESC; the caller repaints its screen.
void show_terminal();

// The pieces of the key loop, for tests and benchmarks.

constexpr int TERM_INPUT_MAX = 86;  // typed characters kept; more are dropped

struct term_input {
    char text[TERM_INPUT_MAX + 1];
    int len;  // also the cursor cell
};

// Empties the store, sets the geometry, appends the greeting and draws the
// whole screen with an empty input line.
void term_open(term_input* in);

// One key other than ESC: Enter runs the line and empties it, Backspace
// removes the last character, anything else (Tab too) is typed.
void term_key(term_input* in, int code);

// Repaints the marked text rows, then the prompt line.
void term_refresh(const term_input* in);

// Appends the echo of `input` and the command's answer, or performs it.
void term_run_line(const char* input);
