// The hardware seam: port I/O, PCI configuration, controller registers in
// memory and the privileged instructions. Nothing else in either kernel
// contains assembly. The host build links a simulated 8042 controller behind
// the same names instead, on a machine with nothing on its PCI bus.
#pragma once
#include <stdint.h>

#ifdef ORVELIX_HOST

uint8_t inb(uint16_t port);
void outb(uint16_t port, uint8_t value);
uint16_t inw(uint16_t port);
void outw(uint16_t port, uint16_t value);
uint32_t inl(uint16_t port);
void outl(uint16_t port, uint32_t value);
uint32_t mmio_read32(uintptr_t address);
void mmio_write32(uintptr_t address, uint32_t value);
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

static inline uint16_t inw(uint16_t port)
{
    uint16_t v;
    asm volatile("inw %1, %0" : "=a"(v) : "Nd"(port));
    return v;
}

static inline void outw(uint16_t port, uint16_t value)
{
    asm volatile("outw %0, %1" : : "a"(value), "Nd"(port));
}

static inline uint32_t inl(uint16_t port)
{
    uint32_t v;
    asm volatile("inl %1, %0" : "=a"(v) : "Nd"(port));
    return v;
}

static inline void outl(uint16_t port, uint32_t value)
{
    asm volatile("outl %0, %1" : : "a"(value), "Nd"(port));
}

// Controller registers in memory: every access reaches the device, in order.
static inline uint32_t mmio_read32(uintptr_t address)
{
    return *reinterpret_cast<volatile uint32_t*>(address);
}

static inline void mmio_write32(uintptr_t address, uint32_t value)
{
    *reinterpret_cast<volatile uint32_t*>(address) = value;
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

// PCI configuration space through mechanism 1: `bdf` is bus << 8 | device
// << 3 | function, `reg` a dword's offset.
enum pci_port : uint16_t { PCI_ADDRESS = 0xCF8, PCI_DATA = 0xCFC };

static inline uint32_t pci_read32(uint32_t bdf, uint8_t reg)
{
    outl(PCI_ADDRESS, 0x80000000u | bdf << 8 | (reg & 0xFCu));
    return inl(PCI_DATA);
}

static inline void pci_write32(uint32_t bdf, uint8_t reg, uint32_t value)
{
    outl(PCI_ADDRESS, 0x80000000u | bdf << 8 | (reg & 0xFCu));
    outl(PCI_DATA, value);
}

// The address a controller is given for static storage the kernel reads
// and writes: the kernel runs where it was loaded, below 4 GiB, and its
// image is mapped as itself whether paging is on or off.
static inline uint32_t dma_address(const volatile void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}
