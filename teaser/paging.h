// PAE paging for a framebuffer that 32-bit addresses cannot reach, above
// 4 GiB. The 32-bit address space stays mapped as itself, but for one GiB,
// the window, into which the framebuffer is mapped. Shared by both kernels.
// A framebuffer below 4 GiB needs none of this: paging then stays off.
#pragma once
#include <stdint.h>

constexpr uint64_t PAGING_GIB = uint64_t{1} << 30;  // one window; one page directory's reach

// The processor's paging, as CPUID reports it.
struct cpu_paging {
    bool pae;
    uint32_t phys_bits;  // width of a physical address
};
cpu_paging cpu_paging_read();

// Fixed static storage for the tables: a page directory for each GiB of
// the address space, page tables for the framebuffer's first and last
// 2 MiB, which it need not fill, one for the first 2 MiB, whose memory
// types differ (RAM, VGA memory, firmware), and one for controller
// registers, in the window's last 2 MiB.
struct alignas(4096) pae_tables {
    uint64_t pd[4][512];
    uint64_t pt[2][512];
    uint64_t pdpt[4];
    alignas(4096) uint64_t low[512];
    alignas(4096) uint64_t regs[512];
};

struct pae_map {
    const char* refusal;  // why the framebuffer cannot be mapped (at most 34 characters), or null
    uint32_t address;     // where its first byte appears in the window
};

// Maps `span` bytes of framebuffer at physical `fb` into the window and
// every other GiB as itself; the window is the highest GiB above the first
// (the kernel's image, stack and state and VGA text memory) that the `keep`
// bytes at `keep_at` leave clear. Writes the tables only when `tables` is
// given, `tables_phys` being their physical address. A pure function: the
// same answer with tables or without.
pae_map pae_plan(uint64_t fb, uint64_t span, uint64_t keep_at, uint64_t keep, cpu_paging cpu,
                 pae_tables* tables, uint64_t tables_phys);

// Builds the tables of pae_plan in static storage and turns paging on; the
// plan must have had no refusal. Drawing then reaches the framebuffer
// through fb_pointer.
void paging_map_fb(uint64_t fb, uint64_t span, uint64_t keep_at, uint64_t keep);

// Maps `size` bytes of controller registers at physical `at` with uncached
// 4 KiB pages into the regs table, from its page *used on (advanced past
// them), the table taking the last 2 MiB of GiB `window`. The linear
// address of `at`, or 0 where they do not fit: past the processor's width,
// past the table, or that 2 MiB taken by the framebuffer. Pure, as pae_plan.
uint32_t pae_map_regs(pae_tables* tables, uint64_t tables_phys, uint32_t window, uint32_t* used, uint64_t at,
                      uint64_t size, cpu_paging cpu);

// The pointer through which controller registers at physical `at` are
// reached once paging_map_fb has run, if it runs: the address itself
// where it is mapped as itself, else pages in the window's last 2 MiB.
// A controller above 4 GiB turns paging on where the framebuffer did not.
// 0 where the processor cannot reach them.
uintptr_t paging_reach(uint64_t at, uint64_t size);

// Where paging_map_fb put the framebuffer's first byte, as a pointer.
extern uintptr_t paging_fb;

// The address drawing writes a framebuffer at physical `addr` through: below
// 4 GiB the address itself; above, the window paging mapped it into. Never
// the address cut down to its low half.
inline uintptr_t fb_pointer(uint64_t addr)
{
    return addr >> 32 ? paging_fb : static_cast<uint32_t>(addr);
}
