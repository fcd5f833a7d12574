#include "uhci.h"
#include "../boot/hw.h"
#include "pci.h"
#include "usb.h"

// I/O registers from the base in BAR4.
enum : uint16_t { USBCMD = 0x00, USBSTS = 0x02, USBINTR = 0x04, FRNUM = 0x06, FRBASEADD = 0x08, PORTSC = 0x10 };
enum : uint16_t { CMD_RUN = 0x01, CMD_HCRESET = 0x02, CMD_CONFIGURED = 0x40, CMD_MAXP64 = 0x80 };
enum : uint16_t { STS_HALTED = 0x20, STS_ALL = 0x3F };
enum : uint16_t {
    PORT_CONNECTED = 0x0001,
    PORT_CONNECT_CHANGE = 0x0002,
    PORT_ENABLED = 0x0004,
    PORT_ENABLE_CHANGE = 0x0008,
    PORT_VALID = 0x0080,  // reads as one on every port there is
    PORT_LOW_SPEED = 0x0100,
    PORT_RESET = 0x0200,
};
constexpr uint8_t PCI_BAR4 = 0x20, PCI_LEGSUP = 0xC0;
// Legacy support: every trap and SMI off, the status bits written back to clear.
constexpr uint32_t LEGSUP_OFF = 0x8F00;

// Links, and the words of a transfer descriptor.
constexpr uint32_t LINK_END = 1, LINK_QH = 2, LINK_DEPTH = 4;
constexpr uint32_t TD_ACTIVE = 1u << 23;
constexpr uint32_t TD_NAK = 1u << 19;
// Stalled, buffer, babble, CRC or time-out, bit stuff.
constexpr uint32_t TD_ERRORS = 0x7Eu << 16 & ~TD_NAK;
constexpr uint32_t TD_LOW_SPEED = 1u << 26;
constexpr uint32_t TD_RETRIES = 3u << 27;
constexpr uint32_t TD_SHORT_OK = 1u << 29;  // a short packet ends the queue
enum : uint8_t { PID_SETUP = 0x2D, PID_IN = 0x69, PID_OUT = 0xE1 };

constexpr int UHCI_MAX = 4;
constexpr int CTRL_TDS = 2 + USB_CTRL_MAX / 8;  // setup, data at the smallest packet, status
constexpr int PORTS = 2;
constexpr uint32_t CTRL_TIMEOUT_MS = 500;
constexpr uint32_t PORT_RESET_MS = 50, PORT_RECOVERY_MS = 10;
constexpr uint32_t HANDSHAKE_POLLS = 200000;

struct alignas(16) uhci_td {
    volatile uint32_t link, status, token, buffer;
};

struct alignas(16) uhci_qh {
    volatile uint32_t head, element;
    uint32_t pad[2];
};

// What one controller reads: its frame list, a queue head per endpoint it
// polls and one for control transfers, and their descriptors.
struct alignas(4096) uhci_mem {
    volatile uint32_t frames[1024];
    uhci_qh in_qh[USB_MAX_INS];
    uhci_qh ctrl_qh;
    uhci_td in_td[USB_MAX_INS];
    uhci_td ctrl_td[CTRL_TDS];
    usb_setup setup;
};

struct uhci {
    uint16_t io;
    uint16_t last_frame;
    uint32_t ms;
    uint8_t next_addr;
    uint8_t next_poll;
    bool armed[USB_MAX_INS];
};

static uhci_mem mem[UHCI_MAX];
static uhci hcs[UHCI_MAX];
static int count;

static uhci& of(int hc) { return hcs[usb_hcs[hc].unit]; }
static uhci_mem& mem_of(int hc) { return mem[usb_hcs[hc].unit]; }

static uint32_t uhci_ms(int hc)
{
    uhci& u = of(hc);
    const uint16_t f = inw(uint16_t(u.io + FRNUM)) & 0x7FF;
    u.ms += (f - u.last_frame) & 0x7FF;
    u.last_frame = f;
    return u.ms;
}

static int uhci_ports(int) { return PORTS; }

static int uhci_port_reset(int hc, int port)
{
    const uint16_t reg = uint16_t(of(hc).io + PORTSC + 2 * (port - 1));
    const uint16_t v = inw(reg);
    if (!(v & PORT_VALID) || v == 0xFFFF || !(v & PORT_CONNECTED)) return -1;
    outw(reg, PORT_RESET);
    usb_wait(hc, PORT_RESET_MS);
    outw(reg, 0);
    usb_wait(hc, 1);
    // The controller leaves enabling the port to us.
    outw(reg, PORT_ENABLED | PORT_CONNECT_CHANGE | PORT_ENABLE_CHANGE);
    usb_wait(hc, PORT_RECOVERY_MS);
    const uint16_t after = inw(reg);
    if (!(after & PORT_ENABLED)) return -1;
    return after & PORT_LOW_SPEED ? USB_LOW : USB_FULL;
}

static uint32_t token(uint8_t pid, const usb_dev& d, uint8_t ep, uint32_t toggle, uint32_t len)
{
    return (len ? len - 1 : 0x7FFu) << 21 | toggle << 19 | uint32_t(ep) << 15 | uint32_t(d.addr) << 8 | pid;
}

static uint32_t td_status(const usb_dev& d)
{
    return TD_ACTIVE | TD_RETRIES | (d.speed == USB_LOW ? TD_LOW_SPEED : 0);
}

static int uhci_control(int hc, int dev, const usb_setup& s, uint8_t* data)
{
    uhci_mem& m = mem_of(hc);
    const usb_dev& d = usb_devs[dev];
    const bool in = s.type & 0x80;
    const uint32_t mps = d.mps0 ? d.mps0 : 8;
    m.setup = s;

    int n = 0;
    uhci_td* td = m.ctrl_td;
    td[n].buffer = dma_address(&m.setup);
    td[n].token = token(PID_SETUP, d, 0, 0, sizeof m.setup);
    td[n++].status = td_status(d);
    const int first_data = n;
    uint32_t toggle = 1;
    for (uint32_t at = 0; at < s.length && n < CTRL_TDS - 1; at += mps, toggle ^= 1) {
        const uint32_t len = s.length - at < mps ? s.length - at : mps;
        td[n].buffer = dma_address(data + at);
        td[n].token = token(in ? PID_IN : PID_OUT, d, 0, toggle, len);
        td[n++].status = td_status(d) | (in ? TD_SHORT_OK : 0);
    }
    const int status_td = n;
    td[n].buffer = 0;
    td[n].token = token(in && s.length ? PID_OUT : PID_IN, d, 0, 1, 0);
    td[n++].status = td_status(d);
    for (int i = 0; i < n; ++i) td[i].link = i + 1 < n ? dma_address(&td[i + 1]) | LINK_DEPTH : LINK_END;
    m.ctrl_qh.element = dma_address(&td[0]);

    const uint32_t start = uhci_ms(hc);
    uint32_t last = start, still = 0;
    int done = -1;
    bool cut = false;
    // Until the time-out, or until the frame counter stands still.
    for (uint32_t now = start; now - start < CTRL_TIMEOUT_MS && still < USB_STILL_POLLS; now = uhci_ms(hc)) {
        still = now == last ? still + 1 : 0;
        last = now;
        int i = 0;
        for (; i < n; ++i) {
            const uint32_t st = td[i].status;
            if (st & TD_ACTIVE) break;
            if (st & TD_ERRORS) {
                i = -1;
                break;
            }
            // A short packet ends the data: the status stage comes next.
            const uint32_t got = (st + 1) & 0x7FF, want = ((td[i].token >> 21) + 1) & 0x7FF;
            if (!cut && i >= first_data && i < status_td && in && got < want) {
                cut = true;
                for (int j = i + 1; j < status_td; ++j) td[j].status = 0;
                m.ctrl_qh.element = dma_address(&td[status_td]);
            }
        }
        if (i < 0) break;
        if (i == n) {
            done = 0;
            for (int j = first_data; j < status_td; ++j) done += (td[j].status + 1) & 0x7FF;
            break;
        }
    }
    m.ctrl_qh.element = LINK_END;
    return done;
}

static bool uhci_address(int hc, int dev)
{
    uhci& u = of(hc);
    if (u.next_addr > 127) return false;
    usb_setup s{0, USB_SET_ADDRESS, u.next_addr, 0, 0};
    if (uhci_control(hc, dev, s, nullptr) < 0) return false;
    usb_devs[dev].addr = u.next_addr++;
    return true;
}

static void uhci_nothing(int, int) {}

static bool uhci_open(int, int in)
{
    usb_ins[in].toggle = 0;
    return true;
}

static void uhci_arm(int hc, int i)
{
    uhci_mem& m = mem_of(hc);
    usb_in& in = usb_ins[i];
    const usb_dev& d = usb_devs[in.dev];
    uhci_td& td = m.in_td[i];
    td.link = LINK_END;
    td.buffer = dma_address(usb_report[i]);
    td.token = token(PID_IN, d, in.ep, in.toggle, in.mps);
    td.status = td_status(d);
    m.in_qh[i].element = dma_address(&td);
    of(hc).armed[i] = true;
}

static int uhci_poll(int hc, uint32_t* len)
{
    uhci& u = of(hc);
    uhci_mem& m = mem_of(hc);
    // Round the endpoints from the one after the last found, so none starves.
    int i = u.next_poll < usb_nins ? u.next_poll : 0;
    for (int k = 0; k < usb_nins; ++k, i = i + 1 == usb_nins ? 0 : i + 1) {
        if (!u.armed[i]) continue;
        const uint32_t st = m.in_td[i].status;
        if (st & TD_ACTIVE) continue;
        u.armed[i] = false;
        u.next_poll = uint8_t(i + 1);
        usb_in& in = usb_ins[i];
        if (st & TD_ERRORS) {
            // A device that keeps failing is no longer read.
            if (++in.errors < 3) uhci_arm(hc, i);
            return -1;
        }
        in.errors = 0;
        in.toggle ^= 1;
        *len = (st + 1) & 0x7FF;
        return i;
    }
    return -1;
}

static const usb_hc_ops ops = {
    uhci_ms, uhci_ports, uhci_port_reset, uhci_address, uhci_nothing, uhci_nothing,
    uhci_control, uhci_open, uhci_arm, uhci_poll,
};

void uhci_add(uint32_t bdf)
{
    if (count == UHCI_MAX) return;
    const uint32_t bar = pci_read32(bdf, PCI_BAR4);
    if (!(bar & 1) || (bar & ~3u) == 0) return;
    const uint16_t io = uint16_t(bar & 0xFFFC);
    pci_enable(bdf, PCI_IO | PCI_BUS_MASTER);
    // The firmware's hold on the keyboard and mouse ports ends here.
    const uint32_t legsup = pci_read32(bdf, PCI_LEGSUP);
    pci_write32(bdf, PCI_LEGSUP, (legsup & 0xFFFF0000u) | LEGSUP_OFF);

    outw(uint16_t(io + USBINTR), 0);
    outw(uint16_t(io + USBCMD), 0);
    for (uint32_t i = 0; i < HANDSHAKE_POLLS && !(inw(uint16_t(io + USBSTS)) & STS_HALTED); ++i) {}
    outw(uint16_t(io + USBCMD), CMD_HCRESET);
    for (uint32_t i = 0; i < HANDSHAKE_POLLS && (inw(uint16_t(io + USBCMD)) & CMD_HCRESET); ++i) {}
    if (inw(uint16_t(io + USBCMD)) & CMD_HCRESET) return;

    const int unit = count;
    uhci_mem& m = mem[unit];
    // Every frame walks the endpoints' queues, then the control queue.
    m.ctrl_qh.head = LINK_END;
    m.ctrl_qh.element = LINK_END;
    for (int i = USB_MAX_INS; i-- > 0;) {
        m.in_qh[i].head = (i + 1 < USB_MAX_INS ? dma_address(&m.in_qh[i + 1]) : dma_address(&m.ctrl_qh)) | LINK_QH;
        m.in_qh[i].element = LINK_END;
    }
    for (auto& f : m.frames) f = dma_address(&m.in_qh[0]) | LINK_QH;

    outw(uint16_t(io + USBINTR), 0);
    outl(uint16_t(io + FRBASEADD), dma_address(m.frames));
    outw(uint16_t(io + FRNUM), 0);
    outw(uint16_t(io + USBSTS), STS_ALL);
    outw(uint16_t(io + USBCMD), CMD_RUN | CMD_CONFIGURED | CMD_MAXP64);
    for (uint32_t i = 0; i < HANDSHAKE_POLLS && (inw(uint16_t(io + USBSTS)) & STS_HALTED); ++i) {}

    hcs[unit] = uhci{io, 0, 0, 1, 0, {}};
    const int hc = usb_add_hc(&ops, uint8_t(unit));
    if (hc < 0) return;
    ++count;
    // A controller whose frame counter stands still is not used.
    if (!usb_wait(hc, 1)) --usb_nhcs, --count;
}
