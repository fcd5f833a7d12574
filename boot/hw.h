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
void cpu_cpuid(uint32_t leaf, uint32_t regs[4]);
void cpu_paging_on(uintptr_t pdpt);
uintptr_t cpu_linear(uint32_t address);

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

// EAX, EBX, ECX and EDX of CPUID leaf `leaf` (subleaf 0), in that order.
static inline void cpu_cpuid(uint32_t leaf, uint32_t regs[4])
{
    asm volatile("cpuid" : "=a"(regs[0]), "=b"(regs[1]), "=c"(regs[2]), "=d"(regs[3]) : "a"(leaf), "c"(0));
}

// Turns on PAE paging with the page-directory-pointer table at `pdpt`. The
// code, its stack and its data must already be mapped as themselves.
static inline void cpu_paging_on(uintptr_t pdpt)
{
    uint32_t cr;
    asm volatile("mov %0, %%cr3" : : "r"(static_cast<uint32_t>(pdpt)) : "memory");
    asm volatile("mov %%cr4, %0" : "=r"(cr));
    asm volatile("mov %0, %%cr4" : : "r"(cr | 0x20u) : "memory");   // PAE
    asm volatile("mov %%cr0, %0" : "=r"(cr));
    asm volatile("mov %0, %%cr0" : : "r"(cr | 0x80000000u) : "memory");  // PG
}

// The pointer through which the code reaches a linear address: on the
// machine the address itself. The host build, which maps no pages, looks
// it up in the tables paging was turned on with.
static inline uintptr_t cpu_linear(uint32_t address) { return address; }

#endif
