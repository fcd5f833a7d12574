// What several screens share: the top bar with the name, and the screens
// any part of the teaser may end on, the reboot screen and the red text-mode
// fallback. They call nothing above the drawing, input and machine units,
// so every screen can reach them.
#pragma once
#include <stdint.h>

// The top bar of the desktop and the terminal: rows 0 .. TOP_BAR_H - 1 with
// "ORVELIX" at (8, 8), and the rule on row TOP_BAR_H. Each screen adds its
// own texts.
constexpr int32_t TOP_BAR_H = 34;
void draw_top_bar();

// Black screen, "Rebooting..." in the middle, a pause, then the reset.
// Returns only if the machine did not reset.
void reboot_screen();

// The red text-mode screen for a missing or unusable framebuffer; never returns.
[[noreturn]] void fallback_screen();
