// Arbitrary controller traffic through the polled reader: pairs of a status
// byte and a data byte. The pointer stays within its limits, mouse bytes
// never touch last_sc, and every result is one the reader may give.
#include <cstdint>
#include <cstdlib>

#include "../../teaser/input.h"
#include "../host/support/oracle.h"
#include "../host/support/sim8042.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // 255 polls hold every case of the reader and the assembler many times
    // over; longer inputs only make each run slower.
    if (size < 2 || size > 512) return 0;
    // The first two bytes choose the screen; the rest is traffic.
    input_reset(320 + data[0] * 7, 200 + data[1] * 5);
    sim.idle_limit = ~0ull;
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
        if (mouse_x < 0 || mouse_x > mouse_max_x || mouse_y < 0 || mouse_y > mouse_max_y) std::abort();
        if (mouse_btn != 0 && mouse_btn != 1) std::abort();
        if (mouse_cycle > 2) std::abort();
        bool valid = key == -1 || key == 0 || key == 8 || key == 9 || key == 10 || key == 27 ||
                     (key >= 0x20 && key <= 0x7E);
        if (!valid) std::abort();
        if (!from_mouse && last_sc != (data[i + 1] & 0x7F)) std::abort();
    }
    return 0;
}
