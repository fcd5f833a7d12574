// A simulated processor behind the kernels' CPUID and paging seam. By
// default it is QEMU's qemu32: PAE, but no PSE-36 and no leaf 0x80000008,
// so physical addresses are 32 bits wide. Paging turned on is followed
// through the tables the kernel built, into host memory: below 4 GiB a
// physical address is the host address itself; above, only the RAM given
// by sim_cpu_high_ram exists.
#pragma once
#include <cstdint>

struct SimCpu {
    uint32_t leaf1_edx = 1u << 6;      // PAE
    uint32_t max_extended = 0x80000004;
    uint32_t address_sizes = 36;       // leaf 0x80000008's EAX, where max_extended reaches it
    uintptr_t pdpt = 0;                // the tables paging runs on; 0 while it is off
    int paging_on_calls = 0;
    uint64_t high_phys = 0;            // RAM above 4 GiB: high_len bytes at high_phys,
    uint64_t high_len = 0;             // held by the host at high_host
    uintptr_t high_host = 0;
};

extern SimCpu sim_cpu;

// The default processor, paging off, no RAM above 4 GiB.
void sim_cpu_reset();
// A processor with PAE and physical addresses `bits` wide, from leaf 0x80000008.
void sim_cpu_wide(uint32_t bits);
// `len` bytes of host memory at `host` stand for physical RAM at `phys`.
void sim_cpu_high_ram(uint64_t phys, void* host, uint64_t len);
// The physical address the running tables give a linear address, or
// UINT64_MAX where nothing is mapped (a page fault on the machine).
uint64_t sim_cpu_translate(uint32_t linear);
