#include "usb.h"
#include "input.h"

usb_hc usb_hcs[USB_MAX_HCS];
int usb_nhcs;
usb_dev usb_devs[USB_MAX_DEVS];
int usb_ndevs;
usb_in usb_ins[USB_MAX_INS];
int usb_nins;
alignas(64) uint8_t usb_report[USB_MAX_INS][USB_REPORT_MAX];

// Descriptors and hub replies land here, one control transfer at a time.
alignas(64) static uint8_t ctrl_buf[USB_CTRL_MAX];

// Request types: the direction, standard or class, and the recipient.
enum : uint8_t {
    FROM_DEVICE = 0x80,
    FROM_IFACE = 0x81,
    TO_DEVICE = 0x00,
    CLASS_TO_IFACE = 0x21,
    HUB_TO_PORT = 0x23,
    HUB_FROM = 0xA0,
    HUB_FROM_PORT = 0xA3,
};
// Hub features.
enum : uint16_t { PORT_RESET = 4, PORT_POWER = 8, C_PORT_CONNECTION = 16, C_PORT_RESET = 20 };
enum : uint32_t { PS_CONNECTION = 1, PS_ENABLE = 2, PS_RESET = 0x10, PS_LOW = 0x200, PS_HIGH = 0x400, PC_RESET = 0x100000 };

// USB's own times, in milliseconds.
constexpr uint32_t HUB_RESET_MS = 50, RECOVERY_MS = 10, DEBOUNCE_MS = 100;
constexpr uint32_t POINTER_FIRST_POLL_MS = 4;

int usb_add_hc(const usb_hc_ops* ops, uint8_t unit)
{
    if (usb_nhcs == USB_MAX_HCS) return -1;
    usb_hcs[usb_nhcs] = {ops, unit};
    return usb_nhcs++;
}

bool usb_wait(int hc, uint32_t ms)
{
    const usb_hc_ops* ops = usb_hcs[hc].ops;
    const uint32_t start = ops->ms(hc);
    uint32_t last = start;
    // A counter that stands still for this many reads has stopped.
    for (uint32_t still = 0; still < USB_STILL_POLLS; ++still) {
        const uint32_t now = ops->ms(hc);
        if (now - start >= ms) return true;
        if (now != last) {
            last = now;
            still = 0;
        }
    }
    return false;
}

static int control(int dev, uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint16_t length)
{
    const usb_dev& d = usb_devs[dev];
    if (length > USB_CTRL_MAX) length = USB_CTRL_MAX;
    const usb_setup s{type, request, value, index, length};
    return usb_hcs[d.hc].ops->control(d.hc, dev, s, ctrl_buf);
}

static int get_descriptor(int dev, uint8_t from, uint8_t desc, uint16_t index, uint16_t length)
{
    return control(dev, from, USB_GET_DESCRIPTOR, uint16_t(desc << 8), index, length);
}

static uint32_t le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24; }

static void enumerate(int hc, uint8_t speed, uint8_t port, uint8_t hub, uint8_t hub_port);

// A hub one level down from the root: its ports powered, reset one by one,
// and what hangs there enumerated. Hubs behind it are not read.
static void hub_start(int dev)
{
    usb_dev& d = usb_devs[dev];
    if (get_descriptor(dev, HUB_FROM, USB_DESC_HUB, 0, 7) < 7) return;
    uint8_t ports = ctrl_buf[2];
    const uint32_t power_ms = ctrl_buf[5] * 2u;
    if (ports > 15) ports = 15;
    d.hub_ports = ports;
    usb_hcs[d.hc].ops->hub(d.hc, dev);
    for (uint8_t p = 1; p <= ports; ++p) control(dev, HUB_TO_PORT, USB_SET_FEATURE, PORT_POWER, p, 0);
    usb_wait(d.hc, (power_ms > DEBOUNCE_MS ? power_ms : DEBOUNCE_MS));

    for (uint8_t p = 1; p <= ports; ++p) {
        if (control(dev, HUB_FROM_PORT, USB_GET_STATUS, 0, p, 4) != 4) continue;
        if (!(le32(ctrl_buf) & PS_CONNECTION)) continue;
        control(dev, HUB_TO_PORT, USB_SET_FEATURE, PORT_RESET, p, 0);
        uint32_t status = 0;
        for (int tries = 0; tries < 10; ++tries) {
            usb_wait(d.hc, HUB_RESET_MS / 5);
            if (control(dev, HUB_FROM_PORT, USB_GET_STATUS, 0, p, 4) != 4) break;
            status = le32(ctrl_buf);
            if (!(status & PS_RESET) && (status & PC_RESET)) break;
        }
        control(dev, HUB_TO_PORT, USB_CLEAR_FEATURE, C_PORT_RESET, p, 0);
        control(dev, HUB_TO_PORT, USB_CLEAR_FEATURE, C_PORT_CONNECTION, p, 0);
        if (!(status & PS_ENABLE)) continue;
        usb_wait(d.hc, RECOVERY_MS);
        const uint8_t speed = status & PS_LOW ? USB_LOW : status & PS_HIGH ? USB_HIGH : USB_FULL;
        enumerate(d.hc, speed, d.port, uint8_t(dev + 1), p);
    }
}

// Reads interface `f` of device `dev` as a keyboard or pointer, and adds it
// to what is polled.
static void hid_start(int dev, const usb_iface& f)
{
    if (usb_nins == USB_MAX_INS) return;
    usb_in& in = usb_ins[usb_nins];
    in = usb_in{};
    in.dev = uint8_t(dev);
    in.ep = f.ep;
    in.kind = f.kind;
    in.interval = f.interval;
    in.mps = f.mps > USB_REPORT_MAX ? uint16_t(USB_REPORT_MAX) : f.mps;

    bool layout = false;
    if (f.kind == HID_KEYBOARD || f.kind == HID_MOUSE) {
        // Boot reports: the layout is fixed. A tablet would refuse this.
        layout = control(dev, CLASS_TO_IFACE, HID_SET_PROTOCOL, 0, f.number, 0) == 0;
        if (f.kind == HID_KEYBOARD) {
            if (!layout) return;
            control(dev, CLASS_TO_IFACE, HID_SET_IDLE, 0, f.number, 0);  // reports on change only
        } else if (layout) {
            in.ptr = HID_BOOT_MOUSE;
        }
    }
    if (!layout) {
        const int got = get_descriptor(dev, FROM_IFACE, USB_DESC_REPORT, f.number, f.report_len);
        if (got <= 0 || !hid_parse_report_desc(ctrl_buf, uint32_t(got), &in.ptr)) return;
        in.kind = HID_POINTER;
    }
    const usb_dev& d = usb_devs[dev];
    if (usb_hcs[d.hc].ops->open(d.hc, usb_nins)) ++usb_nins;
}

static void enumerate(int hc, uint8_t speed, uint8_t port, uint8_t hub, uint8_t hub_port)
{
    if (usb_ndevs == USB_MAX_DEVS) return;
    const int dev = usb_ndevs;
    usb_dev& d = usb_devs[dev];
    const uint16_t mps0 = speed == USB_SUPER ? 512 : speed == USB_HIGH ? 64 : 8;
    d = usb_dev{uint8_t(hc), speed, 0, port, hub, hub_port, 0, mps0};
    const usb_hc_ops* ops = usb_hcs[hc].ops;
    if (!ops->address(hc, dev)) return;
    ++usb_ndevs;
    usb_wait(hc, 2);

    if (get_descriptor(dev, FROM_DEVICE, USB_DESC_DEVICE, 0, 8) < 8) return;
    const uint8_t m = ctrl_buf[7];
    d.mps0 = speed == USB_SUPER ? uint16_t(1u << (m < 9 ? m : 9)) : m >= 8 && m <= 64 ? m : 8;
    ops->mps0(hc, dev);

    if (get_descriptor(dev, FROM_DEVICE, USB_DESC_CONFIG, 0, 9) < 9) return;
    const uint16_t total = uint16_t(ctrl_buf[2] | ctrl_buf[3] << 8);
    const int got = get_descriptor(dev, FROM_DEVICE, USB_DESC_CONFIG, 0, total < 9 ? 9 : total);
    if (got < 9) return;
    const uint8_t config = ctrl_buf[5];
    usb_iface faces[4];
    const int n = usb_parse_config(ctrl_buf, uint32_t(got), faces, 4);
    if (n == 0) return;
    if (control(dev, TO_DEVICE, USB_SET_CONFIGURATION, config, 0, 0) < 0) return;
    for (int i = 0; i < n; ++i) {
        if (faces[i].kind == HID_HUB) {
            if (hub == 0) hub_start(dev);
        } else {
            hid_start(dev, faces[i]);
        }
    }
}

static void arm_all(bool absolute)
{
    for (int i = 0; i < usb_nins; ++i) {
        const usb_in& in = usb_ins[i];
        const bool abs = in.kind == HID_POINTER && in.ptr.absolute;
        if (abs != absolute) continue;
        const int hc = usb_devs[in.dev].hc;
        usb_hcs[hc].ops->arm(hc, i);
    }
}

void usb_enumerate()
{
    for (int hc = 0; hc < usb_nhcs; ++hc) {
        const usb_hc_ops* ops = usb_hcs[hc].ops;
        const int ports = ops->ports(hc);
        for (int p = 1; p <= ports; ++p) {
            const int speed = ops->port_reset(hc, p);
            if (speed >= 0) enumerate(hc, uint8_t(speed), uint8_t(p), 0, 0);
        }
    }
    // A pointer is the one events go to once it is first polled: relative
    // ones first, absolute ones last, so that a tablet, which follows the
    // host's pointer, ends up the one that does.
    arm_all(false);
    for (int i = 0; i < usb_nins; ++i)
        if (usb_ins[i].kind == HID_POINTER && usb_ins[i].ptr.absolute) {
            usb_wait(usb_devs[usb_ins[i].dev].hc, POINTER_FIRST_POLL_MS);
            break;
        }
    arm_all(true);
    if (usb_nins) kbd_second_source = usb_key;
}

static void report(int i, uint32_t len)
{
    usb_in& in = usb_ins[i];
    const uint8_t* r = usb_report[i];
    if (len > in.mps) len = in.mps;
    if (in.kind == HID_KEYBOARD) {
        const int hc = usb_devs[in.dev].hc;
        hid_kbd_report(in.kbd, r, len, usb_hcs[hc].ops->ms(hc));
    } else {
        hid_pointer_report(in.ptr, r, len);
    }
}

int usb_key()
{
    uint8_t sc;
    if (hid_key_pop(&sc)) return sc;
    if (usb_nins == 0) return -1;
    // A held key repeats on its controller's clock.
    for (int i = 0; i < usb_nins; ++i) {
        usb_in& in = usb_ins[i];
        if (in.kbd.repeat_sc) {
            const int hc = usb_devs[in.dev].hc;
            hid_kbd_repeat(in.kbd, usb_hcs[hc].ops->ms(hc));
        }
    }
    if (hid_key_pop(&sc)) return sc;

    static int next_hc;
    const int hc = next_hc;
    next_hc = next_hc + 1 == usb_nhcs ? 0 : next_hc + 1;
    uint32_t len = 0;
    const int i = usb_hcs[hc].ops->poll(hc, &len);
    if (i >= 0 && i < usb_nins) {
        report(i, len);
        usb_hcs[hc].ops->arm(hc, i);
    }
    return hid_key_pop(&sc) ? sc : -1;
}
