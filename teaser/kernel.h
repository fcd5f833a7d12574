// Screens the main loop hands control to, and the reboot screen they share.
#pragma once
#include <stdint.h>

extern "C" [[noreturn]] void kernel_main(uint32_t magic, uint32_t info);

// Black screen, "Rebooting..." in the middle, a pause, then the reset.
// Returns only if the machine did not reset.
void reboot_screen();

// The red text-mode screen for a missing or unusable framebuffer; never returns.
[[noreturn]] void fallback_screen();
