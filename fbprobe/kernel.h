// The framebuffer probe: checks the hand-off, then shows the test picture
// or the text report, and waits for keys: R or ESC resets the machine, any
// other key with a character draws the same screen again.
#pragma once
#include <stdint.h>

extern "C" [[noreturn]] void kernel_main(uint32_t magic, uint32_t info);

// Blocks until a key with a character is pressed; returns it, or 27 for ESC.
// Releases, the 0xE0 prefix, keys without a character and every byte from
// the mouse are skipped. Waits without bound.
uint8_t kbd_getchar();
