// The mini terminal.
#pragma once

// Runs the terminal until ESC; the caller repaints its screen.
void show_terminal();
