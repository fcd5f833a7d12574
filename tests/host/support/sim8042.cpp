#include "sim8042.h"
#include "../../../boot/hw.h"
#include <cstdlib>

// The controller's and the devices' documented values, written here rather
// than taken from the kernels: a wrong value there must not move the
// simulated hardware along with it.
namespace {
enum : uint16_t { DATA = 0x60, STATUS = 0x64 };
enum : uint8_t { OUT_FULL = 0x01, IN_FULL = 0x02, FROM_MOUSE = 0x20 };  // status bits
enum : uint8_t { READ_CONFIG = 0x20, WRITE_CONFIG = 0x60, TO_MOUSE = 0xD4, PULSE_RESET = 0xFE };
enum : uint8_t { ACK = 0xFA, RESET = 0xFF };  // to and from the mouse
enum : uint8_t { LSHIFT = 0x2A, RELEASE = 0x80 };  // scancode set 1

// The US layout in scancode set 1, make codes 0x00 to 0x39, without and with Shift.
const char US_LO[] = "\0\0" "1234567890-=" "\0\t" "qwertyuiop[]\n" "\0" "asdfghjkl;'`" "\0" "\\zxcvbnm,./" "\0*\0 ";
const char US_HI[] = "\0\0" "!@#$%^&*()_+" "\0\t" "QWERTYUIOP{}\n" "\0" "ASDFGHJKL:\"~" "\0" "|ZXCVBNM<>?" "\0*\0 ";
static_assert(sizeof US_LO == 0x3A + 1 && sizeof US_HI == 0x3A + 1);
}  // namespace

Sim8042 sim;

uint8_t us_key(uint8_t make, bool shift)
{
    return make < 0x3A ? uint8_t((shift ? US_HI : US_LO)[make]) : 0;
}

void sim_reset() { sim = Sim8042{}; }

void sim_keys(std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes) sim.out.push_back({b, false});
}

void sim_mouse(std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes) sim.out.push_back({b, true});
}

void sim_tap(uint8_t make) { sim_keys({make, static_cast<uint8_t>(make | RELEASE)}); }

void sim_type(const char* text)
{
    for (; *text; ++text) {
        uint8_t ch = static_cast<uint8_t>(*text);
        for (uint8_t code = 0; code < 0x3A; ++code) {
            if (us_key(code, false) == ch) {
                sim_tap(code);
                break;
            }
            if (us_key(code, true) == ch) {
                sim_keys({LSHIFT});
                sim_tap(code);
                sim_keys({LSHIFT | RELEASE});
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
    sim_mouse({ACK});
    if (command == RESET) sim_mouse({0xAA, 0x00});  // self-test passed, id 0
}

uint8_t inb(uint16_t port)
{
    if (sim.mode == Sim8042::Mode::stuck_ff) {
        if (++sim.idle_reads > sim.idle_limit) throw SimExhausted{};
        return 0xFF;
    }
    if (port == STATUS) {
        ++sim.status_reads;
        if (sim.on_poll) sim.on_poll();
        uint8_t status = 0;
        if (sim.input_busy > 0) {
            --sim.input_busy;
            status |= IN_FULL;
        }
        if (sim.mode == Sim8042::Mode::normal && !sim.out.empty()) {
            sim.idle_reads = 0;
            status |= OUT_FULL;
            if (sim.out.front().mouse) status |= FROM_MOUSE;
        } else if (++sim.idle_reads > sim.idle_limit) {
            throw SimExhausted{};
        }
        return status;
    }
    if (port == DATA) {
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
    if (port == STATUS && value == PULSE_RESET && sim.reset_line_works) throw SimReset{};
    if (sim.mode != Sim8042::Mode::normal) return;  // nobody there to answer
    if (port == STATUS) {
        switch (value) {
        case READ_CONFIG: sim_keys({sim.config}); break;
        case WRITE_CONFIG: sim.pending = Sim8042::Pending::config; break;
        case TO_MOUSE: sim.pending = Sim8042::Pending::mouse; break;
        default: break;
        }
        return;
    }
    if (port == DATA) {
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

// The simulated machine has nothing on its PCI bus: every configuration
// read finds no device, so no USB controller is ever looked for further.
uint16_t inw(uint16_t) { return 0xFFFF; }
void outw(uint16_t, uint16_t) {}
uint32_t inl(uint16_t) { return 0xFFFFFFFF; }
void outl(uint16_t, uint32_t) {}
uint32_t mmio_read32(uintptr_t) { std::abort(); }
void mmio_write32(uintptr_t, uint32_t) { std::abort(); }
