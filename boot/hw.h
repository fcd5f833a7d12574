// The hardware seam: port I/O and the privileged instructions. Nothing else
// in either kernel contains assembly. The host build links a simulated
// 8042 controller behind the same names instead.
#pragma once
#include <stdint.h>

#ifdef ORVELIX_HOST

uint8_t inb(uint16_t port);
void outb(uint16_t port, uint8_t value);
void cpu_lidt(const void* descriptor);
void cpu_int3();
// Every pause passes here first. The simulation records it and answers
// whether to really spin (tests of the delay itself ask it to).
bool cpu_pause(int32_t units);

#else

static inline uint8_t inb(uint16_t port)
{
    uint8_t v;
    asm volatile("inb %1, %0" : "=a"(v) : "Nd"(port));
    return v;
}

static inline void outb(uint16_t port, uint8_t value)
{
    asm volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

static inline void cpu_lidt(const void* descriptor)
{
    asm volatile("lidt (%0)" : : "r"(descriptor) : "memory");
}

static inline void cpu_int3() { asm volatile("int3"); }

// On the machine every pause spins; only the host build looks at them.
static inline bool cpu_pause(int32_t) { return true; }

#endif
