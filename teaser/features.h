// The full-screen overview of upcoming features.
#pragma once

// Draws the grid, waits for ESC and returns; the caller repaints its screen.
void show_features();
