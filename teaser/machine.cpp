#include "machine.h"
#include "../boot/hw.h"
#include "input.h"

void pit_wait(int32_t n)
{
    if (!cpu_pause(n)) return;
    for (int32_t unit = 0; unit < n; ++unit) {
        volatile uint32_t count = 0;
        while (count <= 7999) count = count + 1;
    }
}

// An interrupt table of limit 0: no vector can be delivered through it.
static const struct __attribute__((packed)) {
    uint16_t limit;
    uint32_t base;
} empty_idt = {0, 0};

void reboot()
{
    // Drain the controller so it takes the command. Bounded like every other
    // wait, so a controller that reads back 0xFF cannot hold us here.
    for (int polls = 0; polls < PS2_WAIT_POLLS; ++polls) {
        uint8_t status = inb(PS2_STATUS);
        if (status & PS2_OUT_FULL) inb(PS2_DATA);
        if (!(status & PS2_IN_FULL)) break;
    }
    outb(PS2_STATUS, PS2_PULSE_RESET);

    // Still here: no interrupt can be delivered, so int3 triple-faults.
    cpu_lidt(&empty_idt);
    cpu_int3();
}
