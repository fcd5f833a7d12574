// Polled input: keys from the keyboard and packets from the mouse share the
// 8042's one output buffer and are sorted by the status byte. A second
// source (USB keyboards and pointers, usb.h) is asked when it has nothing.
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

// Commands to the controller itself, written to PS2_STATUS.
enum ps2_command : uint8_t {
    PS2_READ_CONFIG = 0x20,   // the configuration byte follows on PS2_DATA
    PS2_WRITE_CONFIG = 0x60,  // the next byte on PS2_DATA is the configuration
    PS2_ENABLE_PORT2 = 0xA8,
    PS2_TO_PORT2 = 0xD4,      // the next byte on PS2_DATA goes to the mouse
    PS2_PULSE_RESET = 0xFE,   // pulses the processor's reset line
};

// Bits of the configuration byte that the mouse set-up clears.
enum ps2_config : uint8_t {
    PS2_CONFIG_PORT2_IRQ = 0x02,
    PS2_CONFIG_PORT2_CLOCK_OFF = 0x20,
};

// Commands to the mouse, and its replies.
enum mouse_command : uint8_t {
    MOUSE_SAMPLE_RATE = 0xF3,  // the rate follows as the next command byte
    MOUSE_ENABLE = 0xF4,       // start sending packets
    MOUSE_ACK = 0xFA,
    MOUSE_RESET = 0xFF,        // answered by MOUSE_ACK, the self-test result and the id
};
constexpr uint8_t MOUSE_RATE = 100;  // samples per second

// The first byte of a packet: bit 3 is always set, bit 0 is the left button.
enum mouse_packet : uint8_t {
    MOUSE_LEFT = 0x01,
    MOUSE_SYNC = 0x08,
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
constexpr uint8_t SC_RELEASE = 0x80;  // set in a break code, and in the 0xE0 prefix

// Key codes with a meaning of their own; every other one is a character.
constexpr int KEY_NONE = -1;      // nothing for the caller
constexpr int KEY_NO_CHAR = 0;    // a key without a character: see last_sc
constexpr int KEY_BACKSPACE = 8;
constexpr int KEY_ENTER = 0x0A;
constexpr int KEY_ESC = 27;

// Nothing, or a key without a character: what the splash and the terminal
// pass over. (The arrows are such keys; only the desktop looks at them.)
constexpr bool kbd_no_key(int key) { return key == KEY_NONE || key == KEY_NO_CHAR; }

// Every wait on the controller gives up after this many status reads and
// carries on as if the condition had been met.
constexpr int PS2_WAIT_POLLS = 65536;

// Bytes drained, at most, before a status of all ones means no controller.
constexpr int PS2_DRAIN_MAX = 16;

// False once no 8042 answered: the PS/2 side then gives nothing.
extern bool ps2_present;

// The second source of keys: one poll of it gives a make code, or -1 for
// nothing. Null while there is none.
extern int (*kbd_second_source)();

// Asked after a status read of all ones, which is what a bus with no
// controller gives; a controller gives it at most while bytes wait. Drains
// up to PS2_DRAIN_MAX of them, as careful drivers do; all ones still: there
// is no controller, and ps2_present turns false. Returns !ps2_present.
bool ps2_absent();

extern uint8_t last_sc;
extern int kbd_shift;
extern int kbd_caps;

extern int32_t mouse_x, mouse_y;
extern int32_t mouse_max_x, mouse_max_y;
extern int32_t mouse_btn;
extern uint8_t mouse_cycle;  // bytes of the packet in progress, 0..2

// One poll: reads the status once and at most one byte; with none there,
// looks at one finished USB transfer at most. Returns -1 for
// nothing (no byte, a mouse byte, a release, Shift, Caps Lock, the 0xE0
// prefix), 27 ESC, 8 Backspace, 0x0A Enter, 9 Tab, a character, or 0 for a
// key without one; last_sc then holds the key's make code.
int kbd_read_raw();

// Mouse limits, start position and the one-time controller and mouse set-up;
// finds out first whether there is a controller at all.
void mouse_setup(uint32_t width, uint32_t height);
