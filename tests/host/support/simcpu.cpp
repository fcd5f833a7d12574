#include "simcpu.h"
#include "../../../boot/hw.h"

#include <cstdio>
#include <cstdlib>

SimCpu sim_cpu;

void sim_cpu_reset() { sim_cpu = SimCpu{}; }

void sim_cpu_wide(uint32_t bits)
{
    sim_cpu.max_extended = 0x80000008;
    sim_cpu.address_sizes = bits;
}

void sim_cpu_high_ram(uint64_t phys, void* host, uint64_t len)
{
    sim_cpu.high_phys = phys;
    sim_cpu.high_len = len;
    sim_cpu.high_host = reinterpret_cast<uintptr_t>(host);
}

void cpu_cpuid(uint32_t leaf, uint32_t regs[4])
{
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
    if (leaf == 1) regs[3] = sim_cpu.leaf1_edx;
    if (leaf == 0x80000000) regs[0] = sim_cpu.max_extended;
    if (leaf == 0x80000008 && sim_cpu.max_extended >= 0x80000008) regs[0] = sim_cpu.address_sizes;
}

void cpu_paging_on(uintptr_t pdpt)
{
    sim_cpu.pdpt = pdpt;
    ++sim_cpu.paging_on_calls;
}

// The tables hold host addresses of their own parts: the host build's
// "physical" addresses of kernel storage.
static constexpr uint64_t FRAME = 0x000FFFFFFFFFF000ull;

uint64_t sim_cpu_translate(uint32_t linear)
{
    if (!sim_cpu.pdpt) return linear;
    const uint64_t pdpte = reinterpret_cast<const uint64_t*>(sim_cpu.pdpt)[linear >> 30];
    if (!(pdpte & 1)) return UINT64_MAX;
    const uint64_t pde = reinterpret_cast<const uint64_t*>(static_cast<uintptr_t>(pdpte & FRAME))[(linear >> 21) & 511];
    if (!(pde & 1)) return UINT64_MAX;
    if (pde & 0x80) return (pde & FRAME & ~0x1FFFFFull) + (linear & 0x1FFFFF);
    const uint64_t pte = reinterpret_cast<const uint64_t*>(static_cast<uintptr_t>(pde & FRAME))[(linear >> 12) & 511];
    if (!(pte & 1)) return UINT64_MAX;
    return (pte & FRAME) + (linear & 0xFFF);
}

uintptr_t cpu_linear(uint32_t linear)
{
    const uint64_t phys = sim_cpu_translate(linear);
    if (phys < (uint64_t{1} << 32)) return static_cast<uintptr_t>(phys);
    if (phys - sim_cpu.high_phys < sim_cpu.high_len) return sim_cpu.high_host + (phys - sim_cpu.high_phys);
    std::fprintf(stderr, "linear %#x: no memory behind it (physical %#llx)\n", linear,
                 static_cast<unsigned long long>(phys));
    std::abort();
}
