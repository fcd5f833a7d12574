#include "hid.h"
#include "input.h"

// ---- configuration descriptors --------------------------------------------

static uint8_t iface_kind(uint8_t cls, uint8_t sub, uint8_t proto)
{
    if (cls == USB_CLASS_HUB) return HID_HUB;
    if (cls != USB_CLASS_HID) return HID_NONE;
    if (sub == 1 && proto == 1) return HID_KEYBOARD;
    if (sub == 1 && proto == 2) return HID_MOUSE;
    return HID_POINTER;
}

int usb_parse_config(const uint8_t* d, uint32_t len, usb_iface* out, int max)
{
    int n = 0;
    usb_iface cur{};
    bool open = false;  // an interface is waiting for its endpoint
    for (uint32_t i = 0; i + 2 <= len && n < max;) {
        const uint32_t size = d[i];
        const uint8_t type = d[i + 1];
        if (size < 2 || size > len - i) break;
        const uint8_t* p = d + i;
        if (type == USB_DESC_INTERFACE && size >= 9) {
            // Only an interface's first setting is used.
            cur = usb_iface{};
            cur.kind = p[3] == 0 ? iface_kind(p[5], p[6], p[7]) : uint8_t(HID_NONE);
            cur.number = p[2];
            open = cur.kind != HID_NONE;
        } else if (type == USB_DESC_HID && size >= 9 && open && p[6] == USB_DESC_REPORT) {
            cur.report_len = uint16_t(p[7] | p[8] << 8);
        } else if (type == USB_DESC_ENDPOINT && size >= 7 && open) {
            const uint8_t address = p[2], attributes = p[3];
            const uint16_t mps = uint16_t((p[4] | p[5] << 8) & 0x7FF);
            if ((address & 0x80) && (attributes & 3) == 3 && (address & 0x0F) != 0 && mps != 0) {
                cur.ep = address & 0x0F;
                cur.mps = mps > 1024 ? 1024 : mps;
                cur.interval = p[6];
                out[n++] = cur;
                open = false;
            }
        }
        i += size;
    }
    return n;
}

// ---- report descriptors ---------------------------------------------------

namespace {

constexpr uint32_t REPORT_MAX_BITS = 64 * 8;  // reports are read into 64 bytes
constexpr uint32_t PAGE_DESKTOP = 0x01, PAGE_BUTTON = 0x09;
constexpr uint32_t USAGE_X = 0x30, USAGE_Y = 0x31;

struct globals {
    uint32_t page;
    int32_t min, max;
    uint32_t size, count, id;
    bool max_unsigned;  // the maximum read as unsigned
};

struct locals {
    uint32_t usage[8];
    uint32_t n;
    uint32_t lo, hi;  // a usage range, where lo <= hi
    bool range;
};

int32_t item_signed(const uint8_t* p, uint32_t size)
{
    switch (size) {
    case 1: return int8_t(p[0]);
    case 2: return int16_t(p[0] | p[1] << 8);
    case 4: return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    default: return 0;
    }
}

uint32_t item_unsigned(const uint8_t* p, uint32_t size)
{
    switch (size) {
    case 1: return p[0];
    case 2: return uint32_t(p[0] | p[1] << 8);
    case 4: return uint32_t(item_signed(p, 4));
    default: return 0;
    }
}

// The usage of field `i` of an input item, with the page in the top half.
uint32_t field_usage(const locals& l, const globals& g, uint32_t i)
{
    uint32_t u;
    if (l.range)
        u = i <= l.hi - l.lo ? l.lo + i : l.hi;
    else if (l.n)
        u = l.usage[i < l.n ? i : l.n - 1];
    else
        return 0;
    return u >> 16 ? u : g.page << 16 | u;
}

}  // namespace

bool hid_parse_report_desc(const uint8_t* d, uint32_t len, hid_pointer* out)
{
    globals g{}, stack[4];
    uint32_t depth = 0;
    locals l{};
    uint16_t offset[256] = {};  // bits so far of each report's input
    hid_pointer p{};
    bool found_x = false, found_y = false;
    uint32_t button_id = 0;  // the report the left button was found in

    for (uint32_t i = 0; i < len;) {
        const uint8_t prefix = d[i];
        if (prefix == 0xFE) {  // a long item: skipped whole
            if (len - i < 3) break;
            i += 3 + d[i + 1];
            continue;
        }
        const uint32_t size = (prefix & 3) == 3 ? 4 : prefix & 3;
        if (size > len - i - 1) break;
        const uint8_t* data = d + i + 1;
        const uint32_t type = prefix >> 2 & 3, tag = prefix >> 4;
        i += 1 + size;

        if (type == 1) {  // global
            switch (tag) {
            case 0: g.page = item_unsigned(data, size); break;
            case 1: g.min = item_signed(data, size); break;
            case 2:
                g.max = item_signed(data, size);
                g.max_unsigned = size < 4 && g.max < 0;
                if (g.max_unsigned) g.max = int32_t(item_unsigned(data, size));
                break;
            case 7: g.size = item_unsigned(data, size); break;
            case 8: g.id = item_unsigned(data, size) & 0xFF; break;
            case 9: g.count = item_unsigned(data, size); break;
            case 10: if (depth < 4) stack[depth++] = g; break;
            case 11: if (depth) g = stack[--depth]; break;
            default: break;
            }
        } else if (type == 2) {  // local
            const uint32_t u = item_unsigned(data, size);
            if (tag == 0 && l.n < 8) l.usage[l.n++] = u;
            if (tag == 1) l.lo = u;
            if (tag == 2) {
                l.hi = u;
                l.range = l.lo <= l.hi;
            }
        } else if (type == 0) {  // main
            if (tag == 8) {  // input
                const uint32_t flags = item_unsigned(data, size);
                const bool variable = flags & 2, relative = flags & 4, constant = flags & 1;
                uint32_t at = offset[g.id];
                const uint32_t count = g.count > 1024 ? 1024 : g.count;
                for (uint32_t f = 0; f < count && !constant && variable; ++f) {
                    const uint32_t usage = field_usage(l, g, f);
                    const uint32_t bit = at + f * g.size;
                    const bool mine = !found_x || g.id == p.report_id;
                    if (!mine || g.size == 0 || g.size > 32 || bit + g.size > REPORT_MAX_BITS) continue;
                    const hid_field field{uint16_t(bit), uint8_t(g.size), g.min < 0, g.min, g.max};
                    if (usage == (PAGE_DESKTOP << 16 | USAGE_X) && !found_x) {
                        p.report_id = uint8_t(g.id);
                        p.absolute = !relative;
                        p.x = field;
                        found_x = true;
                    } else if (usage == (PAGE_DESKTOP << 16 | USAGE_Y) && !found_y && found_x) {
                        p.y = field;
                        found_y = true;
                    } else if (usage == (PAGE_BUTTON << 16 | 1) && p.buttons == 0 && g.size == 1) {
                        p.buttons_bit = uint16_t(bit);
                        p.buttons = 1;
                        button_id = g.id;
                    }
                }
                const uint64_t end = at + uint64_t(g.size) * g.count;
                offset[g.id] = uint16_t(end > 0xFFFF ? 0xFFFF : end);
            }
            l = locals{};
        }
    }
    if (!found_x || !found_y) return false;
    // A button in another report than the position's is not read.
    if (button_id != p.report_id) p.buttons = 0;
    if (p.absolute && (p.x.max <= p.x.min || p.y.max <= p.y.min)) return false;
    *out = p;
    return true;
}

// ---- pointer reports --------------------------------------------------------

static uint32_t report_bits(const uint8_t* r, uint32_t bit, uint32_t size)
{
    uint64_t v = 0;
    const uint32_t first = bit / 8, last = (bit + size - 1) / 8;
    for (uint32_t b = last + 1; b-- > first;) v = v << 8 | r[b];
    v >>= bit % 8;
    return uint32_t(size == 32 ? v : v & ((uint64_t{1} << size) - 1));
}

static int32_t field_value(const hid_field& f, const uint8_t* r)
{
    const uint32_t raw = report_bits(r, f.bit, f.size);
    if (!f.is_signed || f.size == 32) return int32_t(raw);
    const uint32_t sign = 1u << (f.size - 1);
    return int32_t(raw ^ sign) - int32_t(sign);
}

static int32_t clamp(int64_t v, int32_t hi)
{
    return v < 0 ? 0 : v > hi ? hi : int32_t(v);
}

// An absolute position onto 0..hi: the logical range spans the screen, and
// rounding up puts the pointer back on the pixel the position was made from.
static int32_t scale(const hid_field& f, int32_t v, int32_t hi)
{
    const int64_t range = int64_t(f.max) - f.min;
    const int64_t at = int64_t(v) - f.min;
    if (at <= 0) return 0;
    return clamp((at * (int64_t(hi) + 1) + range - 1) / range, hi);
}

void hid_pointer_report(const hid_pointer& p, const uint8_t* r, uint32_t len)
{
    if (p.report_id) {
        if (len < 1 || r[0] != p.report_id) return;
        ++r;
        --len;
    }
    const uint32_t need = p.x.bit + p.x.size > p.y.bit + p.y.size ? p.x.bit + p.x.size : p.y.bit + p.y.size;
    if (p.x.size == 0 || p.y.size == 0 || need > len * 8) return;
    const int32_t x = field_value(p.x, r), y = field_value(p.y, r);
    if (p.absolute) {
        mouse_x = scale(p.x, x, mouse_max_x);
        mouse_y = scale(p.y, y, mouse_max_y);
    } else {
        // The report counts downwards, as the screen does.
        mouse_x = clamp(int64_t(mouse_x) + x, mouse_max_x);
        mouse_y = clamp(int64_t(mouse_y) + y, mouse_max_y);
    }
    mouse_btn = p.buttons && p.buttons_bit < len * 8 ? int32_t(report_bits(r, p.buttons_bit, 1)) : 0;
}

// ---- keyboards --------------------------------------------------------------

// Keyboard usages 0x00 to 0x67 as PS/2 make codes; keys that PS/2 sends
// behind 0xE0 give the byte after it, as the reader sees them.
static const uint8_t usage_sc[0x68] = {
    0, 0, 0, 0, 0x1E, 0x30, 0x2E, 0x20,                   // 00: a b c d
    0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26,       // 08: e .. l
    0x32, 0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14,       // 10: m .. t
    0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C, 0x02, 0x03,       // 18: u .. z 1 2
    0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,       // 20: 3 .. 0
    0x1C, 0x01, 0x0E, 0x0F, 0x39, 0x0C, 0x0D, 0x1A,       // 28: Enter Esc Backspace Tab Space - = [
    0x1B, 0x2B, 0x2B, 0x27, 0x28, 0x29, 0x33, 0x34,       // 30: ] \ # ; ' ` , .
    0x35, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40,       // 38: / Caps F1 .. F6
    0x41, 0x42, 0x43, 0x44, 0x57, 0x58, 0, 0x46,          // 40: F7 .. F12 PrtSc ScrLk
    0, 0x52, 0x47, 0x49, 0x53, 0x4F, 0x51, 0x4D,          // 48: Pause Ins Home PgUp Del End PgDn Right
    0x4B, 0x50, 0x48, 0x45, 0x35, 0x37, 0x4A, 0x4E,       // 50: Left Down Up NumLk KP/ KP* KP- KP+
    0x1C, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47,       // 58: KPEnter KP1 .. KP7
    0x48, 0x49, 0x52, 0x53, 0x56, 0x5D, 0, 0x59,          // 60: KP8 KP9 KP0 KP. 102nd App Power KP=
};

// The modifier byte's bits: left Ctrl, Shift, Alt, GUI, then the right ones.
static const uint8_t modifier_sc[8] = {0x1D, 0x2A, 0x38, 0x5B, 0x1D, 0x36, 0x38, 0x5C};
constexpr uint8_t MOD_SHIFTS = 0x22;
constexpr uint8_t USAGE_ERRORS = 3;  // 1 rollover, 2 self-test failed, 3 undefined

uint8_t hid_usage_sc(uint8_t usage) { return usage < sizeof usage_sc ? usage_sc[usage] : 0; }

static bool held(const uint8_t* keys, uint32_t n, uint8_t usage)
{
    for (uint32_t i = 0; i < n; ++i)
        if (keys[i] == usage) return true;
    return false;
}

void hid_kbd_report(hid_kbd& k, const uint8_t* r, uint32_t len, uint32_t now_ms)
{
    if (len < 1) return;
    uint8_t keys[6] = {};
    const uint32_t n = len < 8 ? (len > 2 ? len - 2 : 0) : 6;
    for (uint32_t i = 0; i < n; ++i) {
        if (r[2 + i] >= 1 && r[2 + i] <= USAGE_ERRORS) return;
        keys[i] = r[2 + i];
    }
    const uint8_t mods = r[0];
    kbd_shift = (mods & MOD_SHIFTS) != 0;
    for (int b = 0; b < 8; ++b)
        if ((mods & ~k.mods) & (1u << b)) hid_key_push(modifier_sc[b]);
    for (uint32_t i = 0; i < 6; ++i) {
        const uint8_t u = keys[i];
        if (u == 0 || held(k.keys, 6, u) || held(keys, i, u)) continue;
        const uint8_t sc = hid_usage_sc(u);
        if (sc == 0) continue;
        hid_key_push(sc);
        if (sc != SC_CAPS) {  // Caps Lock toggles once a press
            k.repeat_sc = sc;
            k.repeat_at = now_ms + HID_REPEAT_DELAY_MS;
        }
    }
    // The repeating key stops when it is let go.
    if (k.repeat_sc) {
        bool still = false;
        for (uint32_t i = 0; i < 6; ++i) still |= keys[i] && hid_usage_sc(keys[i]) == k.repeat_sc;
        if (!still) k.repeat_sc = 0;
    }
    k.mods = mods;
    for (uint32_t i = 0; i < 6; ++i) k.keys[i] = keys[i];
}

void hid_kbd_repeat(hid_kbd& k, uint32_t now_ms)
{
    if (!k.repeat_sc || int32_t(now_ms - k.repeat_at) < 0) return;
    hid_key_push(k.repeat_sc);
    // After a long stall the next repeat is a period away, not a burst.
    k.repeat_at = int32_t(now_ms - k.repeat_at) < int32_t(HID_REPEAT_EVERY_MS) ? k.repeat_at + HID_REPEAT_EVERY_MS
                                                                                 : now_ms + HID_REPEAT_EVERY_MS;
}

// ---- the key queue ------------------------------------------------------------

static uint8_t key_queue[HID_KEY_QUEUE];
static uint32_t key_head, key_tail;  // read at the head, written at the tail; both only grow

void hid_key_push(uint8_t sc)
{
    if (key_tail - key_head >= HID_KEY_QUEUE) return;
    key_queue[key_tail++ % HID_KEY_QUEUE] = sc;
}

bool hid_key_pop(uint8_t* sc)
{
    if (key_head == key_tail) return false;
    *sc = key_queue[key_head++ % HID_KEY_QUEUE];
    return true;
}

void hid_key_clear() { key_head = key_tail = 0; }
