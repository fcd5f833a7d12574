// USB keyboards, mice and tablets as the screens see them: descriptors read
// for what a device offers, and reports turned into the same scancodes and
// pointer moves as the PS/2 side gives. Pure functions over bytes a device
// sent, which may be short, long or hostile: nothing is read past `len`.
#pragma once
#include <stdint.h>

enum usb_desc : uint8_t {
    USB_DESC_DEVICE = 1,
    USB_DESC_CONFIG = 2,
    USB_DESC_INTERFACE = 4,
    USB_DESC_ENDPOINT = 5,
    USB_DESC_HID = 0x21,
    USB_DESC_REPORT = 0x22,
    USB_DESC_HUB = 0x29,
};

enum usb_class : uint8_t { USB_CLASS_HID = 3, USB_CLASS_HUB = 9 };

// What an interface is read as.
enum hid_kind : uint8_t {
    HID_NONE,
    HID_KEYBOARD,  // boot keyboard
    HID_MOUSE,     // boot mouse
    HID_POINTER,   // any other HID interface: a tablet, say, laid out by its report descriptor
    HID_HUB,
};

// One interface of a configuration that has an interrupt-IN endpoint.
struct usb_iface {
    uint8_t kind;        // hid_kind
    uint8_t number;      // bInterfaceNumber
    uint8_t ep;          // endpoint number, 1..15
    uint8_t interval;    // bInterval as the descriptor gives it
    uint16_t mps;        // packet size, at most 1024
    uint16_t report_len; // length of the report descriptor (HID only)
};

// The interfaces worth reading in configuration descriptor `d` of `len`
// bytes: at most `max` of them, into `out`. Returns how many. Descriptors
// that are cut short, zero-length or run past `len` end the walk.
int usb_parse_config(const uint8_t* d, uint32_t len, usb_iface* out, int max);

// One field of a report: `size` bits (1..32) at bit `bit`; size 0: absent.
struct hid_field {
    uint16_t bit;
    uint8_t size;
    bool is_signed;   // the logical minimum is negative
    int32_t min, max; // logical range
};

// Where a pointer's report keeps its position and buttons.
struct hid_pointer {
    uint8_t report_id;  // 0: the reports carry no ID byte
    bool absolute;
    hid_field x, y;
    uint16_t buttons_bit;   // the first button, the left one
    uint8_t buttons;        // how many button bits, 0 for none
};

// A boot-protocol mouse: buttons, then signed 8-bit x and y.
constexpr hid_pointer HID_BOOT_MOUSE = {0, false, {8, 8, true, -127, 127}, {16, 8, true, -127, 127}, 0, 3};

// Reads report descriptor `d` for the first report with an X and a Y of
// the generic desktop page. False where there is none, or where it is not
// usable: a range that is empty, a field past the report's bytes.
bool hid_parse_report_desc(const uint8_t* d, uint32_t len, hid_pointer* out);

// Applies report `r` of `len` bytes to mouse_x, mouse_y and mouse_btn: a
// relative move as a PS/2 packet moves the pointer, an absolute position
// scaled from the logical range onto the screen. A report for another ID,
// or one too short for the fields, changes nothing.
void hid_pointer_report(const hid_pointer& p, const uint8_t* r, uint32_t len);

// A boot keyboard: the last report, and the key that repeats while held.
struct hid_kbd {
    uint8_t mods;
    uint8_t keys[6];
    uint8_t repeat_sc;   // make code of the held key that repeats, 0 for none
    uint32_t repeat_at;  // when it repeats next, in the controller's milliseconds
};

constexpr uint32_t HID_REPEAT_DELAY_MS = 500;
constexpr uint32_t HID_REPEAT_EVERY_MS = 100;

// The PS/2 make code (scancode set 1, the byte after any 0xE0 prefix) of a
// keyboard usage, or 0 for none.
uint8_t hid_usage_sc(uint8_t usage);

// Compares boot report `r` with the last one: Shift is taken from it, the
// newly pressed modifiers and keys go to the key queue as make codes in
// the order of the report, and the last of them starts repeating. A
// rollover error report (too many keys held) changes nothing.
void hid_kbd_report(hid_kbd& k, const uint8_t* r, uint32_t len, uint32_t now_ms);

// Queues the held key's make code again once its time has come.
void hid_kbd_repeat(hid_kbd& k, uint32_t now_ms);

// The queue of make codes from USB keyboards, read one a poll.
constexpr int HID_KEY_QUEUE = 32;
void hid_key_push(uint8_t sc);  // dropped when the queue is full
bool hid_key_pop(uint8_t* sc);
void hid_key_clear();
