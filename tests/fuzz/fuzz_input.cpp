// Arbitrary controller traffic through the polled reader: pairs of a status
// byte and a data byte. The pointer stays within its limits, mouse bytes
// never touch last_sc, and every result is one the reader may give.
// Inputs whose first byte has its top bit set are what USB devices send
// instead: the same bytes read as a configuration descriptor, as a report
// descriptor, as that pointer's reports and as keyboard reports.
#include <cstdint>
#include <cstdlib>

#include "../../teaser/hid.h"
#include "../../teaser/input.h"
#include "../../teaser/usb.h"
#include "../host/support/oracle.h"
#include "../host/support/sim8042.h"

static bool valid_key(int key)
{
    return key == -1 || key == 0 || key == 8 || key == 9 || key == 10 || key == 27 || (key >= 0x20 && key <= 0x7E);
}

static void pointer_in_limits()
{
    if (mouse_x < 0 || mouse_x > mouse_max_x || mouse_y < 0 || mouse_y > mouse_max_y) std::abort();
    if (mouse_btn != 0 && mouse_btn != 1) std::abort();
}

static void usb_hid(const uint8_t* d, uint32_t len)
{
    kbd_second_source = usb_key;  // the queue a keyboard's reports fill
    usb_iface f[4];
    const int n = usb_parse_config(d, len, f, 4);
    for (int i = 0; i < n; ++i)
        if (f[i].ep == 0 || f[i].ep > 15 || f[i].mps == 0 || f[i].mps > 1024 || f[i].kind == HID_NONE) std::abort();
    hid_pointer p{};
    if (hid_parse_report_desc(d, len, &p)) {
        if (p.x.bit + p.x.size > 512 || p.y.bit + p.y.size > 512 || p.x.size > 32 || p.y.size > 32) std::abort();
        for (uint32_t at = 0; at < len; at += 9) {  // reports of every length the rest holds
            hid_pointer_report(p, d + at, len - at < 64 ? len - at : 64);
            pointer_in_limits();
        }
    }
    hid_kbd k{};
    for (uint32_t at = 0; at < len; at += 8) {
        hid_kbd_report(k, d + at, len - at < 8 ? len - at : 8, at * 40);
        hid_kbd_repeat(k, at * 40 + 30);
        for (int polls = 0; polls <= HID_KEY_QUEUE; ++polls)
            if (!valid_key(kbd_read_raw())) std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // 255 polls hold every case of the reader and the assembler many times
    // over; longer inputs only make each run slower.
    if (size < 2 || size > 512) return 0;
    // The first two bytes choose the screen; the rest is traffic.
    input_reset(320 + data[0] * 7, 200 + data[1] * 5);
    sim.idle_limit = ~0ull;
    if (data[0] & 0x80) {
        usb_hid(data + 2, uint32_t(size - 2));
        return 0;
    }
    for (size_t i = 2; i + 1 < size; i += 2) {
        bool from_mouse = data[i] & 1;
        if (data[i] & 2) {
            // Nothing waiting this poll.
            if (kbd_read_raw() != KEY_NONE) std::abort();
            continue;
        }
        (from_mouse ? sim_mouse : sim_keys)({data[i + 1]});
        uint8_t before = last_sc;
        int key = kbd_read_raw();
        if (!sim.out.empty()) std::abort();  // exactly one byte per poll that finds one
        if (from_mouse && (key != KEY_NONE || last_sc != before)) std::abort();
        pointer_in_limits();
        if (mouse_cycle > 2) std::abort();
        if (!valid_key(key)) std::abort();
        if (!from_mouse && last_sc != (data[i + 1] & 0x7F)) std::abort();
    }
    return 0;
}
