#include "xhci.h"
#include "../boot/hw.h"
#include "paging.h"
#include "pci.h"
#include "usb.h"

// Capability registers, from the BAR.
enum : uint32_t { CAPLENGTH = 0x00, HCSPARAMS1 = 0x04, HCSPARAMS2 = 0x08, HCCPARAMS1 = 0x10, DBOFF = 0x14, RTSOFF = 0x18 };
// Operational registers, from CAPLENGTH on; port n's status at PORTSC + 16 (n - 1).
enum : uint32_t { USBCMD = 0x00, USBSTS = 0x04, PAGESIZE = 0x08, CRCR = 0x18, DCBAAP = 0x30, CONFIG = 0x38, PORTSC = 0x400 };
constexpr uint32_t CMD_RUN = 1, CMD_RESET = 2;
constexpr uint32_t STS_HALTED = 1, STS_NOT_READY = 1u << 11;
constexpr uint32_t PAGESIZE_4K = 1;
constexpr uint32_t HCC_CONTEXT_64 = 4;
// Runtime registers: the microframe counter, then interrupter 0's.
enum : uint32_t { MFINDEX = 0x00, IMAN = 0x20, ERSTSZ = 0x28, ERSTBA = 0x30, ERDP = 0x38, RUNTIME_END = 0x40 };
constexpr uint32_t MFINDEX_MASK = 0x3FFF;  // microframes, 125 us each
constexpr uint32_t ERDP_BUSY = 8;          // the handler-busy flag, written back to clear
constexpr uint32_t IMAN_PENDING = 1;       // written back to clear; interrupts stay off

constexpr uint32_t PORT_CONNECTED = 1, PORT_ENABLED = 2, PORT_RESET = 1u << 4, PORT_POWER = 1u << 9;
constexpr uint32_t PORT_CHANGES = 0x7Fu << 17;  // every change flag, written back to clear
constexpr uint32_t PORT_RESET_DONE = 1u << 21;

// Extended capabilities: the firmware's hand-over, and which ports speak which USB.
enum : uint8_t { CAP_LEGACY = 1, CAP_PROTOCOL = 2 };
constexpr uint32_t LEGACY_BIOS = 1u << 16, LEGACY_OS = 1u << 24;
constexpr uint32_t LEGCTL_SMI_ENABLES = 0xE011, LEGCTL_SMI_STATUS = 0xE0000000;

// TRB types, in bits 15:10 of the control word.
enum : uint32_t {
    TRB_NORMAL = 1,
    TRB_SETUP = 2,
    TRB_DATA = 3,
    TRB_STATUS = 4,
    TRB_LINK = 6,
    TRB_ENABLE_SLOT = 9,
    TRB_DISABLE_SLOT = 10,
    TRB_ADDRESS = 11,
    TRB_CONFIGURE = 12,
    TRB_EVALUATE = 13,
    TRB_RESET_EP = 14,
    TRB_STOP_EP = 15,
    TRB_SET_DEQUEUE = 16,
    TRB_TRANSFER_EVENT = 32,
    TRB_COMMAND_EVENT = 33,
};
constexpr uint32_t TRB_CYCLE = 1, TRB_TOGGLE = 2, TRB_SHORT_OK = 4, TRB_IOC = 0x20, TRB_IMMEDIATE = 0x40;
constexpr uint32_t TRB_DIR_IN = 1u << 16;
constexpr uint32_t SETUP_NO_DATA = 0, SETUP_OUT = 2u << 16, SETUP_IN = 3u << 16;
enum : uint8_t { CC_SUCCESS = 1, CC_SHORT = 13 };

// Endpoint contexts.
constexpr uint32_t EP_CONTROL = 4, EP_INTERRUPT_IN = 7;
constexpr uint32_t EP_STATE_HALTED = 2;
constexpr uint32_t EP_RETRIES = 3u << 1;  // CErr: three tries before the endpoint halts
constexpr uint32_t SLOT_HUB = 1u << 26;

constexpr int XHCI_MAX = 2;
constexpr uint32_t SLOTS = USB_MAX_DEVS;  // slots enabled on each controller
constexpr uint32_t PORTS_MAX = 64;
constexpr uint8_t CMD_TRBS = 16, EVENT_TRBS = 64, EP0_TRBS = 16, IN_TRBS = 16;
constexpr uint32_t SCRATCH_PAGES = 32;  // shared by the controllers, as they ask
constexpr uint32_t PAGE = 4096, CTX_MAX = 64;
constexpr uint64_t REGS_MIN = 0x1000, REGS_MAX = 1u << 20;
constexpr uint32_t HANDSHAKE_POLLS = 1000000;
constexpr uint32_t RESET_SETTLE_READS = 2000;  // port 0x80 reads, about 1 us each: no register access for 1 ms
constexpr uint32_t STILL_READS = 2000000;      // a counter unchanged this long has stopped
constexpr uint32_t COMMAND_MS = 300, CONTROL_MS = 500, PORT_RESET_MS = 100, RECOVERY_MS = 10, POWER_MS = 20;
constexpr uint8_t IN_ERRORS_MAX = 8;  // failed transfers in a row before an endpoint is no longer read

// What one controller reads and writes in memory.
struct alignas(4096) xhci_mem {
    uint8_t input[33 * CTX_MAX];            // input control, slot and 31 endpoint contexts
    alignas(64) uint64_t dcbaa[SLOTS + 1];  // [0]: the scratchpad array
    alignas(64) xhci_trb cmd[CMD_TRBS];
    alignas(64) xhci_trb events[EVENT_TRBS];
    alignas(64) uint64_t erst[2];  // the one segment: base, size
    alignas(64) uint64_t scratch[SCRATCH_PAGES];
};

// By device and by endpoint read, whichever controller they hang from.
struct alignas(4096) xhci_shared {
    uint8_t scratch[SCRATCH_PAGES][PAGE];
    uint8_t out[USB_MAX_DEVS][32 * CTX_MAX];  // device contexts, 2 KiB each: none crosses a page
    xhci_trb ep0[USB_MAX_DEVS][EP0_TRBS];
    xhci_trb in[USB_MAX_INS][IN_TRBS];
};

enum in_state : uint8_t { IN_IDLE, IN_ARMED, IN_DONE, IN_HALTED, IN_RESETTING, IN_DEQUEUEING, IN_DEAD };

struct xhci {
    uintptr_t cap, op, rt, db;
    uint32_t csz;  // bytes of a context
    uint32_t slots, ports;
    uint64_t usb3;  // bit n - 1: port n speaks USB 3
    uint16_t last_mf;
    uint32_t ms, sub;  // milliseconds counted, and microframes towards the next
    uint8_t ev, ev_cycle;
    xhci_ring cmd;
    bool gone;  // stopped answering: given up
    uint8_t slot_dev[SLOTS + 1];  // usb_devs index + 1, by slot
    // The command waited for, and its answer.
    uint32_t cmd_at;
    bool cmd_done;
    uint8_t cmd_code, cmd_slot;
    // The control transfer waited for.
    int ctrl_dev;
    uint32_t data_at, status_at, got;
    bool ctrl_done;
    uint8_t ctrl_code;
    // Reports in while a command was waited for; halted endpoints waiting for
    // their reset, and the one being reset.
    uint8_t pending, halted;
    int8_t fixing;
};

static xhci_mem mem[XHCI_MAX];
static xhci_shared shared;
static xhci hcs[XHCI_MAX];
static int count;
static uint32_t scratch_used;

static xhci_ring ep0_ring[USB_MAX_DEVS];
static uint8_t dev_dcis[USB_MAX_DEVS];  // the highest endpoint context of each device's slot
static xhci_ring in_ring[USB_MAX_INS];
static uint8_t in_state[USB_MAX_INS];
static uint32_t in_at[USB_MAX_INS];   // the TRB armed
static uint16_t in_len[USB_MAX_INS];  // bytes of the report in

static xhci& of(int hc) { return hcs[usb_hcs[hc].unit]; }
static xhci_mem& mem_of(int hc) { return mem[usb_hcs[hc].unit]; }

// ---- rings and events -----------------------------------------------------

static void clear(xhci_trb& t)
{
    t.lo = 0;
    t.hi = 0;
    t.status = 0;
    t.control = 0;
}

void xhci_ring_init(xhci_ring& r, xhci_trb* base, uint32_t phys, uint8_t n)
{
    for (uint8_t i = 0; i < n; ++i) clear(base[i]);
    r = {base, phys, n, 0, 1};
    base[n - 1].lo = phys;
}

uint32_t xhci_put(xhci_ring& r, uint32_t lo, uint32_t hi, uint32_t status, uint32_t control)
{
    xhci_trb& t = r.base[r.enq];
    t.lo = lo;
    t.hi = hi;
    t.status = status;
    t.control = (control & ~TRB_CYCLE) | r.cycle;  // last: the TRB is the controller's from here
    const uint32_t at = r.phys + r.enq * uint32_t(sizeof(xhci_trb));
    if (++r.enq == r.n - 1) {
        // The link goes over with this lap's cycle bit and flips it for the next.
        r.base[r.enq].control = TRB_LINK << 10 | TRB_TOGGLE | r.cycle;
        r.enq = 0;
        r.cycle ^= 1;
    }
    return at;
}

int xhci_ring_index(const xhci_ring& r, uint64_t ptr)
{
    const uint64_t off = ptr - r.phys;
    if (ptr < r.phys || off % sizeof(xhci_trb) || off / sizeof(xhci_trb) >= r.n) return -1;
    return int(off / sizeof(xhci_trb));
}

xhci_event xhci_decode(const xhci_trb& e)
{
    const uint32_t c = e.control, s = e.status;
    return {uint8_t(c >> 10 & 0x3F), uint8_t(s >> 24), uint8_t(c >> 24), uint8_t(c >> 16 & 0x1F), s & 0xFFFFFF,
            uint64_t(e.hi) << 32 | e.lo};
}

uint8_t xhci_interval(uint8_t speed, uint8_t interval)
{
    if (speed == USB_HIGH || speed == USB_SUPER) {
        const uint8_t n = interval ? uint8_t(interval - 1) : 0;  // 2^(bInterval-1) microframes already
        return n > 15 ? 15 : n;
    }
    // Milliseconds: the largest power of two not above them, in microframes.
    uint8_t n = 3;
    while (n < 10 && (1u << (n - 2)) <= interval) ++n;
    return n;
}

static void write64(uintptr_t at, uint64_t v)
{
    mmio_write32(at, uint32_t(v));
    mmio_write32(at + 4, uint32_t(v >> 32));
}

static uint32_t xhci_ms(int hc)
{
    xhci& x = of(hc);
    const uint16_t mf = uint16_t(mmio_read32(x.rt + MFINDEX) & MFINDEX_MASK);
    x.sub += (mf - x.last_mf) & MFINDEX_MASK;
    x.last_mf = mf;
    x.ms += x.sub / 8;
    x.sub %= 8;
    return x.ms;
}

static void doorbell(int hc, uint32_t slot, uint32_t target) { mmio_write32(of(hc).db + 4 * slot, target); }

static void issue(int hc, uint32_t lo, uint32_t control)
{
    xhci& x = of(hc);
    x.cmd_done = false;
    x.cmd_at = xhci_put(x.cmd, lo, 0, 0, control);
    doorbell(hc, 0, 0);
}

static void arm(int hc, int i);

// The next step of resetting a halted interrupt endpoint, its last command
// answered: its ring's dequeue pointer moved past the failed transfer, then
// the transfer queued again. Nothing is waited for: polls stay polls.
static void fix_next(int hc)
{
    xhci& x = of(hc);
    const int i = x.fixing;
    const usb_in& in = usb_ins[i];
    const uint32_t target = (2u * in.ep + 1) << 16 | uint32_t(usb_devs[in.dev].addr) << 24;
    if (in_state[i] == IN_HALTED) {
        in_state[i] = IN_RESETTING;
        issue(hc, 0, TRB_RESET_EP << 10 | target);
    } else if (in_state[i] == IN_RESETTING) {
        in_state[i] = IN_DEQUEUEING;
        const xhci_ring& r = in_ring[i];
        issue(hc, (r.phys + r.enq * uint32_t(sizeof(xhci_trb))) | r.cycle, TRB_SET_DEQUEUE << 10 | target);
    } else {
        x.fixing = -1;
        in_state[i] = IN_IDLE;
        arm(hc, i);
    }
}

// Acts on one event: the usb_in whose report is in, or -1.
static int handle(int hc, const xhci_event& e)
{
    xhci& x = of(hc);
    if (e.type == TRB_COMMAND_EVENT) {
        if (e.ptr != x.cmd_at || x.cmd_done) return -1;
        x.cmd_done = true;
        x.cmd_code = e.code;
        x.cmd_slot = e.slot;
        if (x.fixing >= 0) fix_next(hc);
        return -1;
    }
    if (e.type != TRB_TRANSFER_EVENT || e.slot == 0 || e.slot > x.slots || !x.slot_dev[e.slot]) return -1;
    const int dev = x.slot_dev[e.slot] - 1;
    if (e.dci == 1) {
        if (dev != x.ctrl_dev || x.ctrl_done || xhci_ring_index(ep0_ring[dev], e.ptr) < 0) return -1;
        if (e.ptr == x.data_at && e.code == CC_SHORT) {
            x.got -= e.residual < x.got ? e.residual : x.got;
        } else if (e.ptr == x.status_at || e.code != CC_SUCCESS) {
            x.ctrl_done = true;
            x.ctrl_code = e.code;
        }
        return -1;
    }
    for (int i = 0; i < usb_nins; ++i) {
        usb_in& in = usb_ins[i];
        if (in.dev != dev || 2u * in.ep + 1 != e.dci) continue;
        if (in_state[i] != IN_ARMED || e.ptr != in_at[i]) return -1;
        if (e.code == CC_SUCCESS || e.code == CC_SHORT) {
            in.errors = 0;
            in_len[i] = uint16_t(in.mps - (e.residual < in.mps ? e.residual : in.mps));
            in_state[i] = IN_DONE;
            return i;
        }
        // The endpoint halted: reset, and read again, unless it keeps failing.
        if (++in.errors >= IN_ERRORS_MAX) {
            in_state[i] = IN_DEAD;
        } else {
            in_state[i] = IN_HALTED;
            ++x.halted;
        }
        return -1;
    }
    return -1;
}

// Looks at the event ring's next entry, if the controller has written it.
static int next_event(int hc)
{
    xhci& x = of(hc);
    xhci_mem& m = mem_of(hc);
    const xhci_trb& t = m.events[x.ev];
    if ((t.control & TRB_CYCLE) != x.ev_cycle) return -1;
    const xhci_event e = xhci_decode(t);
    if (++x.ev == EVENT_TRBS) {
        x.ev = 0;
        x.ev_cycle ^= 1;
    }
    write64(x.rt + ERDP, dma_address(&m.events[x.ev]) | ERDP_BUSY);
    return handle(hc, e);
}

// Reads events until `done`; false after `ms` or when the microframe
// counter stops.
static bool wait_for(int hc, const bool& done, uint32_t ms)
{
    xhci& x = of(hc);
    const uint32_t start = xhci_ms(hc);
    uint32_t last = start;
    for (uint32_t still = 0; !done;) {
        if (next_event(hc) >= 0) ++x.pending;
        const uint32_t now = xhci_ms(hc);
        if (now - start >= ms) return done;
        if (now != last) {
            last = now;
            still = 0;
        } else if (++still > STILL_READS) {
            return done;
        }
    }
    return true;
}

// A command, waited for: true when it succeeded. A controller that does not
// answer one is given up.
static bool command(int hc, uint32_t lo, uint32_t control)
{
    xhci& x = of(hc);
    if (x.gone) return false;
    issue(hc, lo, control);
    if (!wait_for(hc, x.cmd_done, COMMAND_MS)) {
        x.gone = true;
        return false;
    }
    return x.cmd_code == CC_SUCCESS;
}

// ---- contexts ---------------------------------------------------------------

// Entry `index` of the input context: 0 the input control, 1 the slot, DCI + 1 an endpoint.
static volatile uint32_t* input(int hc, uint32_t index)
{
    return reinterpret_cast<volatile uint32_t*>(mem_of(hc).input + index * of(hc).csz);
}

static void clear_input(int hc)
{
    volatile uint32_t* w = input(hc, 0);
    for (uint32_t i = 0; i < 33 * of(hc).csz / 4; ++i) w[i] = 0;
}

static uint32_t slot_target(int dev, uint32_t dci) { return dci << 16 | uint32_t(usb_devs[dev].addr) << 24; }

static void slot_context(int hc, int dev)
{
    const usb_dev& d = usb_devs[dev];
    uint32_t route = 0, tt = 0;
    if (d.hub) {
        const usb_dev& h = usb_devs[d.hub - 1];
        route = d.hub_port & 0xFu;
        // Low and full speed behind a high-speed hub go through its translator.
        if (h.speed == USB_HIGH && (d.speed == USB_LOW || d.speed == USB_FULL)) tt = h.addr | uint32_t(d.hub_port) << 8;
    }
    volatile uint32_t* s = input(hc, 1);
    s[0] = route | uint32_t(d.speed + 1) << 20 | (d.hub_ports ? SLOT_HUB : 0) | uint32_t(dev_dcis[dev]) << 27;
    s[1] = uint32_t(d.port) << 16 | uint32_t(d.hub_ports) << 24;
    s[2] = tt;
}

static uint32_t ring_dequeue(const xhci_ring& r) { return (r.phys + r.enq * uint32_t(sizeof(xhci_trb))) | r.cycle; }

static void ep0_context(int hc, int dev)
{
    volatile uint32_t* e = input(hc, 2);
    e[1] = EP_RETRIES | EP_CONTROL << 3 | uint32_t(usb_devs[dev].mps0) << 16;
    e[2] = ring_dequeue(ep0_ring[dev]);
    e[3] = 0;
    e[4] = 8;  // average TRB length: setup packets
}

static bool xhci_address(int hc, int dev)
{
    xhci& x = of(hc);
    if (!command(hc, 0, TRB_ENABLE_SLOT << 10)) return false;
    const uint8_t slot = x.cmd_slot;
    if (slot == 0 || slot > x.slots || x.slot_dev[slot]) return false;
    xhci_mem& m = mem_of(hc);
    for (auto& b : shared.out[dev]) b = 0;
    xhci_ring_init(ep0_ring[dev], shared.ep0[dev], dma_address(shared.ep0[dev]), EP0_TRBS);
    usb_devs[dev].addr = slot;
    dev_dcis[dev] = 1;
    clear_input(hc);
    input(hc, 0)[1] = 3;  // the slot and the control endpoint
    slot_context(hc, dev);
    ep0_context(hc, dev);
    m.dcbaa[slot] = dma_address(shared.out[dev]);
    x.slot_dev[slot] = uint8_t(dev + 1);
    if (command(hc, dma_address(m.input), TRB_ADDRESS << 10 | uint32_t(slot) << 24)) return true;
    x.slot_dev[slot] = 0;
    command(hc, 0, TRB_DISABLE_SLOT << 10 | uint32_t(slot) << 24);
    m.dcbaa[slot] = 0;
    return false;
}

static void xhci_mps0(int hc, int dev)
{
    clear_input(hc);
    input(hc, 0)[1] = 2;
    ep0_context(hc, dev);
    command(hc, dma_address(mem_of(hc).input), TRB_EVALUATE << 10 | slot_target(dev, 0));
}

static void xhci_hub(int hc, int dev)
{
    // The slot context alone: the hub flag and its ports.
    clear_input(hc);
    input(hc, 0)[1] = 1;
    slot_context(hc, dev);
    command(hc, dma_address(mem_of(hc).input), TRB_CONFIGURE << 10 | slot_target(dev, 0));
}

// Puts the control endpoint back in order after a failed transfer: reset
// if it halted, stopped if not, and its ring taken up where the next
// transfer will go.
static void ep0_recover(int hc, int dev)
{
    const volatile uint32_t* out = reinterpret_cast<const volatile uint32_t*>(shared.out[dev] + of(hc).csz);
    const uint32_t type = (out[0] & 7) == EP_STATE_HALTED ? TRB_RESET_EP : TRB_STOP_EP;
    command(hc, 0, type << 10 | slot_target(dev, 1));
    command(hc, ring_dequeue(ep0_ring[dev]), TRB_SET_DEQUEUE << 10 | slot_target(dev, 1));
}

static int xhci_control(int hc, int dev, const usb_setup& s, uint8_t* data)
{
    xhci& x = of(hc);
    if (x.gone) return -1;
    xhci_ring& r = ep0_ring[dev];
    const bool in = s.type & 0x80;
    uint32_t w[2];
    __builtin_memcpy(w, &s, sizeof w);
    const uint32_t stage = s.length == 0 ? SETUP_NO_DATA : in ? SETUP_IN : SETUP_OUT;
    xhci_put(r, w[0], w[1], 8, TRB_SETUP << 10 | TRB_IMMEDIATE | stage);
    x.data_at = 0;
    if (s.length) x.data_at = xhci_put(r, dma_address(data), 0, s.length, TRB_DATA << 10 | TRB_SHORT_OK | (in ? TRB_DIR_IN : 0));
    x.status_at = xhci_put(r, 0, 0, 0, TRB_STATUS << 10 | TRB_IOC | (in && s.length ? 0 : TRB_DIR_IN));
    x.ctrl_dev = dev;
    x.got = s.length;
    x.ctrl_done = false;
    doorbell(hc, usb_devs[dev].addr, 1);
    const bool done = wait_for(hc, x.ctrl_done, CONTROL_MS);
    x.ctrl_dev = -1;
    if (done && x.ctrl_code == CC_SUCCESS) return int(x.got);
    ep0_recover(hc, dev);
    return -1;
}

// ---- interrupt endpoints ------------------------------------------------------

static bool xhci_open(int hc, int i)
{
    const usb_in& in = usb_ins[i];
    const int dev = in.dev;
    if (in.ep == 0 || in.ep > 15 || of(hc).gone) return false;
    const uint32_t dci = 2u * in.ep + 1;
    xhci_ring_init(in_ring[i], shared.in[i], dma_address(shared.in[i]), IN_TRBS);
    in_state[i] = IN_IDLE;
    if (dci > dev_dcis[dev]) dev_dcis[dev] = uint8_t(dci);
    clear_input(hc);
    input(hc, 0)[1] = 1u | 1u << dci;
    slot_context(hc, dev);
    volatile uint32_t* e = input(hc, dci + 1);
    e[0] = uint32_t(xhci_interval(usb_devs[dev].speed, in.interval)) << 16;
    e[1] = EP_RETRIES | EP_INTERRUPT_IN << 3 | uint32_t(in.mps) << 16;
    e[2] = ring_dequeue(in_ring[i]);
    e[3] = 0;
    e[4] = in.mps | uint32_t(in.mps) << 16;  // average TRB length; most bytes in one interval
    return command(hc, dma_address(mem_of(hc).input), TRB_CONFIGURE << 10 | slot_target(dev, 0));
}

static void arm(int hc, int i)
{
    const usb_in& in = usb_ins[i];
    if (of(hc).gone || in_state[i] != IN_IDLE) return;
    in_at[i] = xhci_put(in_ring[i], dma_address(usb_report[i]), 0, in.mps, TRB_NORMAL << 10 | TRB_IOC | TRB_SHORT_OK);
    in_state[i] = IN_ARMED;
    doorbell(hc, usb_devs[in.dev].addr, 2u * in.ep + 1);
}

static int xhci_poll(int hc, uint32_t* len)
{
    xhci& x = of(hc);
    if (x.gone) return -1;
    int i = -1;
    if (x.pending) {
        // A report that came in while a command was waited for.
        for (int k = 0; k < usb_nins && i < 0; ++k)
            if (in_state[k] == IN_DONE && usb_devs[usb_ins[k].dev].hc == hc) i = k;
        x.pending = i < 0 ? 0 : uint8_t(x.pending - 1);
    }
    if (i < 0 && x.halted && x.fixing < 0) {
        for (int k = 0; k < usb_nins; ++k)
            if (in_state[k] == IN_HALTED && usb_devs[usb_ins[k].dev].hc == hc) {
                --x.halted;
                x.fixing = int8_t(k);
                fix_next(hc);
                break;
            }
    }
    if (i < 0) i = next_event(hc);
    if (i < 0) return -1;
    in_state[i] = IN_IDLE;
    *len = in_len[i];
    return i;
}

// ---- ports ------------------------------------------------------------------------

static int xhci_ports(int hc) { return of(hc).gone ? 0 : int(of(hc).ports); }

static int xhci_port_reset(int hc, int port)
{
    xhci& x = of(hc);
    if (x.gone || port < 1 || uint32_t(port) > x.ports) return -1;
    const uintptr_t reg = x.op + PORTSC + 16u * uint32_t(port - 1);
    uint32_t v = mmio_read32(reg);
    if (!(v & PORT_CONNECTED)) return -1;
    // USB 3 ports train by themselves; a USB 2 port is enabled by its reset.
    if (!(x.usb3 >> (port - 1) & 1)) {
        mmio_write32(reg, PORT_POWER | PORT_RESET);
        const uint32_t start = xhci_ms(hc);
        for (uint32_t still = 0; !(mmio_read32(reg) & PORT_RESET_DONE) && still < STILL_READS; ++still)
            if (xhci_ms(hc) - start >= PORT_RESET_MS) break;
        mmio_write32(reg, PORT_POWER | PORT_CHANGES);
        usb_wait(hc, RECOVERY_MS);
        v = mmio_read32(reg);
    }
    if (!(v & PORT_ENABLED)) return -1;
    static const int8_t speeds[] = {-1, USB_FULL, USB_LOW, USB_HIGH, USB_SUPER};
    const uint32_t id = v >> 10 & 0xF;
    return speeds[id < 4 ? id : 4];
}

static const usb_hc_ops ops = {
    xhci_ms, xhci_ports, xhci_port_reset, xhci_address, xhci_mps0, xhci_hub, xhci_control, xhci_open, arm, xhci_poll,
};

// ---- taking the controller --------------------------------------------------------

static bool wait_bits(uintptr_t reg, uint32_t mask, uint32_t want)
{
    for (uint32_t i = 0; i < HANDSHAKE_POLLS; ++i)
        if ((mmio_read32(reg) & mask) == want) return true;
    return false;
}

// The BAR's size: all ones written, read back, the old value restored,
// with memory decoding off meanwhile.
static uint64_t bar_size(uint32_t bdf, bool wide)
{
    const uint32_t cmd = pci_read32(bdf, PCI_COMMAND) & 0xFFFF;
    const uint32_t lo = pci_read32(bdf, PCI_BAR0), hi = wide ? pci_read32(bdf, PCI_BAR0 + 4) : 0;
    pci_write32(bdf, PCI_COMMAND, cmd & ~uint32_t(PCI_MEMORY));
    pci_write32(bdf, PCI_BAR0, ~0u);
    if (wide) pci_write32(bdf, PCI_BAR0 + 4, ~0u);
    const uint64_t mask = (wide ? uint64_t(pci_read32(bdf, PCI_BAR0 + 4)) << 32 : ~uint64_t{0} << 32) |
                          (pci_read32(bdf, PCI_BAR0) & ~0xFu);
    pci_write32(bdf, PCI_BAR0, lo);
    if (wide) pci_write32(bdf, PCI_BAR0 + 4, hi);
    pci_write32(bdf, PCI_COMMAND, cmd);
    return ~mask + 1;
}

// The firmware's hand-over, where it offers one, and the USB 3 ports.
static void walk_caps(xhci& x, uint64_t size)
{
    uint32_t at = (mmio_read32(x.cap + HCCPARAMS1) >> 16) * 4;
    for (int n = 0; at && at + 16 <= size && n < 64; ++n) {
        const uintptr_t reg = x.cap + at;
        const uint32_t head = mmio_read32(reg);
        if ((head & 0xFF) == CAP_LEGACY) {
            mmio_write32(reg, head | LEGACY_OS);
            // Firmware that never lets go loses its claim all the same.
            if (!wait_bits(reg, LEGACY_BIOS, 0)) mmio_write32(reg, (mmio_read32(reg) & ~LEGACY_BIOS) | LEGACY_OS);
            const uint32_t ctl = mmio_read32(reg + 4);
            mmio_write32(reg + 4, (ctl & ~LEGCTL_SMI_ENABLES) | LEGCTL_SMI_STATUS);
        } else if ((head & 0xFF) == CAP_PROTOCOL && head >> 24 == 3) {
            const uint32_t ports = mmio_read32(reg + 8);
            const uint32_t first = ports & 0xFF, last = first + (ports >> 8 & 0xFF);
            for (uint32_t p = first ? first : 1; p < last && p <= PORTS_MAX; ++p) x.usb3 |= uint64_t{1} << (p - 1);
        }
        const uint32_t next = head >> 8 & 0xFF;
        if (!next) break;
        at += next * 4;
    }
}

// Halts and resets the controller, then gives it its rings and runs it.
static bool start(xhci& x, xhci_mem& m, uint64_t size)
{
    const uintptr_t op = x.op;
    wait_bits(op + USBSTS, STS_NOT_READY, 0);
    mmio_write32(op + USBCMD, 0);
    if (!wait_bits(op + USBSTS, STS_HALTED, STS_HALTED)) return false;
    mmio_write32(op + USBCMD, CMD_RESET);
    for (uint32_t i = 0; i < RESET_SETTLE_READS; ++i) inb(0x80);
    if (!wait_bits(op + USBCMD, CMD_RESET, 0) || !wait_bits(op + USBSTS, STS_NOT_READY, 0)) return false;
    if (!(mmio_read32(op + PAGESIZE) & PAGESIZE_4K)) return false;

    const uint32_t p1 = mmio_read32(x.cap + HCSPARAMS1), p2 = mmio_read32(x.cap + HCSPARAMS2);
    x.slots = (p1 & 0xFF) < SLOTS ? p1 & 0xFF : SLOTS;
    x.ports = (p1 >> 24) < PORTS_MAX ? p1 >> 24 : PORTS_MAX;
    if (x.slots == 0 || op - x.cap + PORTSC + 16 * x.ports > size) return false;
    const uint32_t scratch = (p2 >> 27 & 0x1F) | (p2 >> 21 & 0x1F) << 5;
    if (scratch > SCRATCH_PAGES - scratch_used) return false;

    for (auto& e : m.dcbaa) e = 0;
    for (uint32_t i = 0; i < scratch; ++i) m.scratch[i] = dma_address(shared.scratch[scratch_used + i]);
    scratch_used += scratch;
    m.dcbaa[0] = scratch ? dma_address(m.scratch) : 0;
    mmio_write32(op + CONFIG, x.slots);
    write64(op + DCBAAP, dma_address(m.dcbaa));
    xhci_ring_init(x.cmd, m.cmd, dma_address(m.cmd), CMD_TRBS);
    write64(op + CRCR, x.cmd.phys | TRB_CYCLE);

    for (auto& t : m.events) clear(t);
    x.ev = 0;
    x.ev_cycle = 1;
    m.erst[0] = dma_address(m.events);
    m.erst[1] = EVENT_TRBS;
    mmio_write32(x.rt + IMAN, IMAN_PENDING);
    mmio_write32(x.rt + ERSTSZ, 1);
    write64(x.rt + ERDP, dma_address(m.events));
    write64(x.rt + ERSTBA, dma_address(m.erst));  // last: the controller reads the segment table now

    mmio_write32(op + USBCMD, CMD_RUN);
    return wait_bits(op + USBSTS, STS_HALTED, 0);
}

void xhci_add(uint32_t bdf)
{
    if (count == XHCI_MAX) return;
    const uint32_t bar = pci_read32(bdf, PCI_BAR0);
    if (bar & 1) return;
    const bool wide = (bar & 6) == 4;
    const uint64_t phys = (bar & ~0xFull) | (wide ? uint64_t(pci_read32(bdf, PCI_BAR0 + 4)) << 32 : 0);
    uint64_t size = bar_size(bdf, wide);
    if (phys == 0 || size < REGS_MIN) return;
    if (size > REGS_MAX) size = REGS_MAX;
    // Above 4 GiB, or where the framebuffer's window lies, through paging.
    const uintptr_t cap = paging_reach(phys, size);
    if (!cap) return;
    pci_enable(bdf, PCI_MEMORY | PCI_BUS_MASTER);

    const int unit = count;
    xhci& x = hcs[unit];
    x = xhci{};
    x.cap = cap;
    const uint32_t caplength = mmio_read32(cap + CAPLENGTH) & 0xFF;
    const uint32_t rtsoff = mmio_read32(cap + RTSOFF) & ~0x1Fu, dboff = mmio_read32(cap + DBOFF) & ~3u;
    if (caplength < 0x20 || rtsoff + RUNTIME_END > size || dboff + 4 * (SLOTS + 1) > size) return;
    x.op = cap + caplength;
    x.rt = cap + rtsoff;
    x.db = cap + dboff;
    x.csz = mmio_read32(cap + HCCPARAMS1) & HCC_CONTEXT_64 ? 64 : 32;
    x.ctrl_dev = -1;
    x.fixing = -1;
    walk_caps(x, size);
    if (!start(x, mem[unit], size)) return;
    x.last_mf = uint16_t(mmio_read32(x.rt + MFINDEX) & MFINDEX_MASK);

    const int hc = usb_add_hc(&ops, uint8_t(unit));
    if (hc < 0) return;
    ++count;
    // A controller whose microframe counter stands still is not used.
    if (!usb_wait(hc, 1)) {
        x.gone = true;
        --usb_nhcs, --count;
        return;
    }
    // Ports the reset left unpowered are powered, and given time to see their devices.
    for (uint32_t p = 0; p < x.ports; ++p) {
        const uintptr_t reg = x.op + PORTSC + 16 * p;
        if (!(mmio_read32(reg) & PORT_POWER)) mmio_write32(reg, PORT_POWER);
    }
    usb_wait(hc, POWER_MS);
}
