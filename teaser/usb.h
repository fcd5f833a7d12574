// USB keyboards, mice and tablets, a second source of input beside the
// 8042: the controllers found on PCI, the devices on their root ports and
// one hub deep, and the polled reading of their reports. Shared by both
// kernels. No interrupts: every report is found by a poll.
#pragma once
#include <stdint.h>

#include "hid.h"

enum usb_speed : uint8_t { USB_FULL, USB_LOW, USB_HIGH, USB_SUPER };

// A control transfer's setup packet, as it goes on the wire.
struct __attribute__((packed)) usb_setup {
    uint8_t type;  // direction (0x80: to the host), kind and recipient
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

enum usb_request : uint8_t {
    USB_GET_STATUS = 0,
    USB_CLEAR_FEATURE = 1,
    USB_SET_FEATURE = 3,
    USB_SET_ADDRESS = 5,
    USB_GET_DESCRIPTOR = 6,
    USB_SET_CONFIGURATION = 9,
    HID_SET_IDLE = 0x0A,
    HID_SET_PROTOCOL = 0x0B,
};

constexpr int USB_MAX_HCS = 8;      // controllers driven
constexpr int USB_MAX_DEVS = 24;    // devices, hubs included
constexpr int USB_MAX_INS = 16;     // interrupt-IN endpoints read
constexpr uint32_t USB_REPORT_MAX = 64;   // bytes of a report taken in
constexpr uint32_t USB_CTRL_MAX = 1024;   // bytes of a descriptor read

// A device that was given an address.
struct usb_dev {
    uint8_t hc;        // its controller, an index in usb_hcs
    uint8_t speed;     // usb_speed
    uint8_t addr;      // its USB address; on xHCI the controller's slot
    uint8_t port;      // the root port it hangs from, 1-based
    uint8_t hub;       // its hub's index in usb_devs + 1, or 0 on a root port
    uint8_t hub_port;  // its port on that hub, 1-based
    uint8_t hub_ports; // for a hub: how many ports it has
    uint16_t mps0;     // packet size of its control endpoint
};

// An interrupt-IN endpoint being read: a keyboard, a mouse or a pointer.
struct usb_in {
    uint8_t dev;       // index in usb_devs
    uint8_t ep;        // endpoint number
    uint8_t kind;      // hid_kind
    uint8_t interval;  // bInterval as the device gave it
    uint16_t mps;      // packet size, at most USB_REPORT_MAX
    uint8_t toggle;    // data toggle of the next packet, where the controller leaves it to us
    uint8_t errors;    // failed transfers in a row
    hid_kbd kbd;
    hid_pointer ptr;
};

// What a controller offers the device layer. Every wait a controller makes
// is bounded; a controller that stops answering gives failures, not hangs.
struct usb_hc_ops {
    // Milliseconds on the controller's own frame counter; wraps.
    uint32_t (*ms)(int hc);
    int (*ports)(int hc);
    // Resets root port `port` (1-based) and enables it: the speed of the
    // device there, or -1 for none.
    int (*port_reset)(int hc, int port);
    // Gives usb_devs[dev], found at the default address, an address of its own.
    bool (*address)(int hc, int dev);
    // Tells the controller the control endpoint's packet size, once read.
    void (*mps0)(int hc, int dev);
    // Tells the controller that usb_devs[dev] is a hub with hub_ports ports.
    void (*hub)(int hc, int dev);
    // A control transfer to usb_devs[dev]: the bytes of the data stage done,
    // or -1. `data` is DMA-safe storage of at least s.length bytes.
    int (*control)(int hc, int dev, const usb_setup& s, uint8_t* data);
    // Makes usb_ins[in]'s endpoint ready, after the configuration is set.
    bool (*open)(int hc, int in);
    // Starts (again) the transfer of usb_ins[in] into usb_report[in].
    void (*arm)(int hc, int in);
    // Looks at one transfer at most: the index of a usb_in whose report is
    // in, its length in *len; or -1. The caller decodes it, then arms again.
    int (*poll)(int hc, uint32_t* len);
};

struct usb_hc {
    const usb_hc_ops* ops;
    uint8_t unit;  // the controller's index among those of its kind
};

extern usb_hc usb_hcs[USB_MAX_HCS];
extern int usb_nhcs;
extern usb_dev usb_devs[USB_MAX_DEVS];
extern int usb_ndevs;
extern usb_in usb_ins[USB_MAX_INS];
extern int usb_nins;
// Where each endpoint's reports land: static, aligned, below 4 GiB.
extern uint8_t usb_report[USB_MAX_INS][USB_REPORT_MAX];

// Adds a controller the device layer will use; -1 when the table is full.
int usb_add_hc(const usb_hc_ops* ops, uint8_t unit);

// Reads of a frame counter that find it unchanged, after which it has stopped.
constexpr uint32_t USB_STILL_POLLS = 2000000;

// Waits `ms` milliseconds on controller hc's frame counter. False when the
// counter stands still: the controller is given up.
bool usb_wait(int hc, uint32_t ms);

// Enumerates what is on the controllers' ports and starts reading the
// keyboards and pointers found; the input reader then asks usb_key.
void usb_enumerate();

// One poll: a make code from a USB keyboard, if one is waiting or the one
// transfer looked at brought one; else -1. Pointer reports move the pointer.
int usb_key();
