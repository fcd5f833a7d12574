// The teaser's entry: start-up, then the main loop that owns the screen.
#pragma once
#include <stdint.h>

extern "C" [[noreturn]] void kernel_main(uint32_t magic, uint32_t info);
