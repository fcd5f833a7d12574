#include "sim8042.h"
#include "../../../boot/hw.h"
#include "../../../teaser/input.h"
#include "../../../teaser/keymap.h"

Sim8042 sim;

void sim_reset() { sim = Sim8042{}; }

void sim_keys(std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes) sim.out.push_back({b, false});
}

void sim_mouse(std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes) sim.out.push_back({b, true});
}

void sim_tap(uint8_t make) { sim_keys({make, static_cast<uint8_t>(make | SC_RELEASE)}); }

void sim_type(const char* text)
{
    for (; *text; ++text) {
        uint8_t ch = static_cast<uint8_t>(*text);
        for (uint8_t code = 0; code < 128; ++code) {
            if (map_lo[code] == ch) {
                sim_tap(code);
                break;
            }
            if (map_hi[code] == ch) {
                sim_keys({SC_LSHIFT});
                sim_tap(code);
                sim_keys({SC_LSHIFT | SC_RELEASE});
                break;
            }
        }
    }
}

std::vector<uint8_t> sim_written(uint16_t port)
{
    std::vector<uint8_t> v;
    for (auto& w : sim.writes)
        if (w.port == port) v.push_back(w.value);
    return v;
}

static void mouse_answer(uint8_t command)
{
    if (!sim.mouse_present) return;
    sim_mouse({MOUSE_ACK});
    if (command == MOUSE_RESET) sim_mouse({0xAA, 0x00});  // self-test passed, id 0
}

uint8_t inb(uint16_t port)
{
    if (sim.mode == Sim8042::Mode::stuck_ff) {
        if (++sim.idle_reads > sim.idle_limit) throw SimExhausted{};
        return 0xFF;
    }
    if (port == PS2_STATUS) {
        ++sim.status_reads;
        if (sim.on_poll) sim.on_poll();
        uint8_t status = 0;
        if (sim.input_busy > 0) {
            --sim.input_busy;
            status |= PS2_IN_FULL;
        }
        if (sim.mode == Sim8042::Mode::normal && !sim.out.empty()) {
            sim.idle_reads = 0;
            status |= PS2_OUT_FULL;
            if (sim.out.front().mouse) status |= PS2_FROM_MOUSE;
        } else if (++sim.idle_reads > sim.idle_limit) {
            throw SimExhausted{};
        }
        return status;
    }
    if (port == PS2_DATA) {
        if (sim.mode == Sim8042::Mode::silent || sim.out.empty()) return 0x00;
        uint8_t b = sim.out.front().value;
        sim.out.pop_front();
        return b;
    }
    return 0xFF;
}

void outb(uint16_t port, uint8_t value)
{
    sim.writes.push_back({port, value});
    if (port == PS2_STATUS && value == PS2_PULSE_RESET && sim.reset_line_works) throw SimReset{};
    if (sim.mode != Sim8042::Mode::normal) return;  // nobody there to answer
    if (port == PS2_STATUS) {
        switch (value) {
        case PS2_READ_CONFIG: sim_keys({sim.config}); break;
        case PS2_WRITE_CONFIG: sim.pending = Sim8042::Pending::config; break;
        case PS2_TO_PORT2: sim.pending = Sim8042::Pending::mouse; break;
        default: break;
        }
        return;
    }
    if (port == PS2_DATA) {
        if (sim.pending == Sim8042::Pending::config) sim.config = value;
        if (sim.pending == Sim8042::Pending::mouse) mouse_answer(value);
        sim.pending = Sim8042::Pending::none;
    }
}

void cpu_lidt(const void* descriptor)
{
    auto* d = static_cast<const uint8_t*>(descriptor);
    if (d[0] != 0 || d[1] != 0) throw SimHalted{};  // only an empty table is expected
    ++sim.lidt_calls;
}

void cpu_int3() { ++sim.int3_calls; }

bool cpu_pause(int32_t units)
{
    if (sim.on_pause) sim.on_pause(units);
    sim.pauses.push_back(units);
    return sim.spin;
}
