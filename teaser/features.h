// The full-screen overview of upcoming features: four framed panels in a
// two-by-two grid under a header and above a footer hint.
#pragma once
#include <stdint.h>

struct feature_panel {
    const char* title;
    uint32_t colour;        // frame, title, underline and bullets
    const char* items[5];   // a null pointer ends the list early
};

// The four panels in grid order: top left, top right, bottom left, bottom right.
extern const feature_panel feature_table[4];

// Paints the whole grid screen once.
void features_draw();

// Draws the grid, waits for ESC and returns; the caller repaints its screen.
void show_features();
