// The home screen: title block on nested panels over a dot grid, with the
// key help along the bottom.
#pragma once
#include <stdint.h>

extern int32_t splash_cy;  // the row the title block is centred on: FB_H / 2 - 30

// Paints the whole splash from scratch and sets splash_cy.
void draw_splash();

// Recolours the accent line under the title (the splash's pulse).
void splash_accent(uint32_t colour);
