// A simulated 8042 PS/2 controller behind the kernel's port I/O seam:
// scripted keyboard and mouse bytes, a mouse that answers its commands, and
// a log of every port write. Loops that never return are left by the
// exceptions below, thrown when the script has run out.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

struct SimExhausted {};  // polled with nothing left to read
struct SimReset {};      // the kernel pulsed the reset line (0xFE to port 0x64)
struct SimHalted {};     // the kernel loaded an interrupt table it should not have

struct PortWrite {
    uint16_t port;
    uint8_t value;
    bool operator==(const PortWrite&) const = default;
};

struct Sim8042 {
    enum class Mode { normal, silent, stuck_ff };

    struct Byte {
        uint8_t value;
        bool mouse;
    };

    Mode mode = Mode::normal;
    std::deque<Byte> out;                // bytes waiting in the output buffer
    std::vector<PortWrite> writes;       // every outb, in order
    uint64_t status_reads = 0;
    uint64_t idle_reads = 0;             // status reads in a row with nothing waiting
    uint64_t idle_limit = 64;            // then SimExhausted is thrown
    int input_busy = 0;                  // status reads that still show the input buffer full
    bool mouse_present = true;           // answers 0xD4-routed commands
    bool reset_line_works = true;        // 0xFE throws SimReset
    uint8_t config = 0x47;               // controller configuration byte
    std::function<void()> on_poll;       // called at every status read, before it is answered
    std::vector<int32_t> pauses;         // the argument of every pit_wait, in order
    std::function<void(int32_t)> on_pause;  // called at every pit_wait, before it is recorded
    bool spin = false;                   // let pit_wait really count its units
    int lidt_calls = 0;
    int int3_calls = 0;

    // What the next data write means, after a controller command.
    enum class Pending { none, config, mouse } pending = Pending::none;
};

extern Sim8042 sim;

// A fresh controller with an empty script.
void sim_reset();
void sim_keys(std::initializer_list<uint8_t> bytes);
void sim_mouse(std::initializer_list<uint8_t> bytes);
// Make and break codes for a plain key; for extended keys use sim_keys.
void sim_tap(uint8_t make);
// Types text with the US layout (Shift around capitals and symbols).
void sim_type(const char* text);
// The character of a make code in the US layout, without or with Shift; 0
// for none. The test's own copy of the keyboard's facts.
uint8_t us_key(uint8_t make, bool shift);
// Only the writes to one port.
std::vector<uint8_t> sim_written(uint16_t port);
