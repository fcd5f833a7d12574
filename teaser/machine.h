// Busy-wait delay and machine reset. Shared by both kernels.
#pragma once
#include <stdint.h>

// Waits n delay units of 8000 volatile increments each; n below 1 waits none.
void pit_wait(int32_t n);

// Resets the machine through the 8042's reset line, else by a triple fault.
// Returns only if the machine is somehow still running.
void reboot();
