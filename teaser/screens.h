// The screens any part of the teaser may end on: the reboot screen and the
// red text-mode fallback. They call nothing above the drawing, input and
// machine units, so every screen can reach them.
#pragma once

// Black screen, "Rebooting..." in the middle, a pause, then the reset.
// Returns only if the machine did not reset.
void reboot_screen();

// The red text-mode screen for a missing or unusable framebuffer; never returns.
[[noreturn]] void fallback_screen();
