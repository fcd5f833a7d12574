// Polled PS/2 input: keys from the keyboard and packets from the mouse share
// the 8042's one output buffer and are sorted by the status byte.
#pragma once
#include <stdint.h>

enum ps2_port : uint16_t {
    PS2_DATA = 0x60,
    PS2_STATUS = 0x64,   // read: status, write: controller command
};

enum ps2_status : uint8_t {
    PS2_OUT_FULL = 0x01,
    PS2_IN_FULL = 0x02,
    PS2_FROM_MOUSE = 0x20,
};

// Make codes the screens tell keys apart by.
enum scancode : uint8_t {
    SC_ESC = 0x01,
    SC_BACKSPACE = 0x0E,
    SC_ENTER = 0x1C,
    SC_LSHIFT = 0x2A,
    SC_RSHIFT = 0x36,
    SC_CAPS = 0x3A,
    SC_LEFT = 0x4B,
    SC_RIGHT = 0x4D,
};

constexpr int KEY_NONE = -1;

extern uint8_t last_sc;
extern int kbd_shift;
extern int kbd_caps;

extern int32_t mouse_x, mouse_y;
extern int32_t mouse_max_x, mouse_max_y;
extern int32_t mouse_btn;
extern uint8_t mouse_cycle;  // bytes of the packet in progress, 0..2

// One poll: reads the status once and at most one byte. Returns -1 for
// nothing (no byte, a mouse byte, a release, Shift, Caps Lock, the 0xE0
// prefix), 27 ESC, 8 Backspace, 0x0A Enter, 9 Tab, a character, or 0 for a
// key without one; last_sc then holds the key's make code.
int kbd_read_raw();

// Mouse limits, start position and the one-time controller and mouse set-up.
void mouse_setup(uint32_t width, uint32_t height);
