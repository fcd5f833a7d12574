#include "input.h"
#include "../boot/hw.h"
#include "keymap.h"

bool ps2_present = true;
int (*kbd_second_source)();

uint8_t last_sc;
int kbd_shift;
int kbd_caps;

int32_t mouse_x = 400, mouse_y = 300;
int32_t mouse_max_x = 799, mouse_max_y = 599;
int32_t mouse_btn;
static uint8_t mouse_pkt[3];
uint8_t mouse_cycle;

// Packet assembler: three bytes, the first with bit 3 set.
static void mouse_feed(uint8_t byte)
{
    switch (mouse_cycle) {
    case 0:
        if (!(byte & MOUSE_SYNC)) return;  // not a packet's first byte: resynchronise
        mouse_pkt[0] = byte;
        mouse_cycle = 1;
        return;
    case 1:
        mouse_pkt[1] = byte;
        mouse_cycle = 2;
        return;
    default:
        mouse_pkt[2] = byte;
        mouse_cycle = 0;
        break;
    }
    int32_t x = mouse_x + static_cast<int8_t>(mouse_pkt[1]);
    int32_t y = mouse_y - static_cast<int8_t>(mouse_pkt[2]);  // the mouse counts upwards
    if (x < 0) x = 0;
    if (x > mouse_max_x) x = mouse_max_x;
    if (y < 0) y = 0;
    if (y > mouse_max_y) y = mouse_max_y;
    mouse_x = x;
    mouse_y = y;
    mouse_btn = mouse_pkt[0] & MOUSE_LEFT;
}

// A keyboard byte, from the 8042 or a USB keyboard's report, as a key code.
static int kbd_decode(uint8_t byte)
{
    uint8_t code = byte & ~SC_RELEASE;
    bool release = byte & SC_RELEASE;
    last_sc = code;

    if (code == SC_LSHIFT || code == SC_RSHIFT) {
        kbd_shift = release ? 0 : 1;
        return KEY_NONE;
    }
    if (code == SC_CAPS && !release) {
        kbd_caps ^= 1;
        return KEY_NONE;
    }
    if (release) return KEY_NONE;  // the 0xE0 prefix lands here too
    if (code == SC_ESC) return KEY_ESC;
    if (code == SC_BACKSPACE) return KEY_BACKSPACE;

    uint8_t lo = map_lo[code];
    bool letter = lo >= 'a' && lo <= 'z';
    bool upper = letter ? kbd_shift != kbd_caps : kbd_shift == 1;
    return upper ? map_hi[code] : lo;
}

int kbd_read_raw()
{
    if (ps2_present) {
        const uint8_t status = inb(PS2_STATUS);
        if (status & PS2_OUT_FULL) {
            const uint8_t byte = inb(PS2_DATA);
            if (!(status & PS2_FROM_MOUSE)) return kbd_decode(byte);
            mouse_feed(byte);
            return KEY_NONE;
        }
    }
    if (!kbd_second_source) return KEY_NONE;
    const int sc = kbd_second_source();
    return sc < 0 ? KEY_NONE : kbd_decode(uint8_t(sc));
}

bool ps2_absent()
{
    uint8_t status = inb(PS2_STATUS);
    for (int i = 0; i < PS2_DRAIN_MAX && status == 0xFF; ++i) {
        inb(PS2_DATA);
        status = inb(PS2_STATUS);
    }
    if (status == 0xFF) ps2_present = false;
    return !ps2_present;
}

// `status` is the wait's first read.
static void wait_write(uint8_t status)
{
    for (int i = 1; i < PS2_WAIT_POLLS && (status & PS2_IN_FULL); ++i) status = inb(PS2_STATUS);
}

static void wait_write() { wait_write(inb(PS2_STATUS)); }

static void wait_read()
{
    for (int i = 0; i < PS2_WAIT_POLLS && !(inb(PS2_STATUS) & PS2_OUT_FULL); ++i) {}
}

static void mouse_cmd(uint8_t byte)
{
    wait_write();
    outb(PS2_STATUS, PS2_TO_PORT2);
    wait_write();
    outb(PS2_DATA, byte);
}

static uint8_t mouse_rd()
{
    wait_read();
    return inb(PS2_DATA);
}

void mouse_setup(uint32_t width, uint32_t height)
{
    mouse_max_x = static_cast<int32_t>(width - 1);
    mouse_max_y = static_cast<int32_t>(height - 1);
    mouse_x = static_cast<int32_t>(width / 2);
    mouse_y = static_cast<int32_t>(height / 2);

    // The first wait's first read also tells whether there is a controller.
    const uint8_t status = inb(PS2_STATUS);
    if (status == 0xFF && ps2_absent()) return;
    wait_write(status);
    outb(PS2_STATUS, PS2_ENABLE_PORT2);
    wait_write();
    outb(PS2_STATUS, PS2_READ_CONFIG);
    wait_read();
    // No second-port interrupt, its clock on; the rest as the firmware left it.
    const uint8_t config = inb(PS2_DATA) & ~(PS2_CONFIG_PORT2_IRQ | PS2_CONFIG_PORT2_CLOCK_OFF);
    wait_write();
    outb(PS2_STATUS, PS2_WRITE_CONFIG);
    wait_write();
    outb(PS2_DATA, config);

    mouse_cmd(MOUSE_RESET);
    wait_read();
    if (inb(PS2_DATA) != MOUSE_ACK) return;  // no acknowledge: no mouse to talk to
    mouse_rd();       // self-test result
    mouse_rd();       // device identifier
    // Each command below is answered by an acknowledge, read and not checked.
    mouse_cmd(MOUSE_SAMPLE_RATE);
    mouse_rd();
    mouse_cmd(MOUSE_RATE);
    mouse_rd();
    mouse_cmd(MOUSE_ENABLE);
    mouse_rd();
}
