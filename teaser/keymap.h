// US key maps for scancode set 1, one entry per make code; 0 = no character.
// map_lo is shared with the probe, whose blocking reader has no Shift.
#pragma once
#include <stdint.h>

extern const uint8_t map_lo[128];
extern const uint8_t map_hi[128];
