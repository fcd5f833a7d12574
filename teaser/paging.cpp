#include "paging.h"
#include "../boot/hw.h"

uintptr_t paging_fb;

static constexpr uint64_t PAGE = 0x1000;
static constexpr uint64_t LARGE = 0x200000;  // a 2 MiB page
static constexpr uint64_t PRESENT = 1, WRITABLE = 2, LARGE_PAGE = 0x80;
static constexpr uint64_t UNCACHED = 0x18;  // PWT and PCD: registers, not memory
static constexpr uint64_t FOUR_GIB = uint64_t{1} << 32;
static constexpr uint32_t REGS_SLOT = 511;   // the window's last 2 MiB
static constexpr uint32_t PAE_MAX_BITS = 52;

static constexpr uint32_t CPUID_PAE = 1u << 6, CPUID_PSE36 = 1u << 17;
static constexpr uint32_t CPUID_EXTENDED = 0x80000000, CPUID_ADDRESS_SIZES = 0x80000008;

cpu_paging cpu_paging_read()
{
    uint32_t r[4];
    cpu_cpuid(1, r);
    const bool pae = r[3] & CPUID_PAE;
    const bool pse36 = r[3] & CPUID_PSE36;
    // Leaf 0x80000008 gives the width where it exists; before it, only
    // processors with PSE-36 reach past 32 bits.
    cpu_cpuid(CPUID_EXTENDED, r);
    uint32_t bits = pse36 ? 36 : 32;
    if (r[0] >= CPUID_ADDRESS_SIZES && r[0] <= CPUID_EXTENDED + 0xFFFF) {
        cpu_cpuid(CPUID_ADDRESS_SIZES, r);
        bits = r[0] & 0xFF;
    }
    return {pae, bits};
}

static uint64_t at_phys(const void* p, const pae_tables* t, uint64_t tables_phys)
{
    return tables_phys + (reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(t));
}

// Every GiB but `window` mapped as itself; the first 2 MiB in 4 KiB pages.
static void identity(pae_tables* t, uint64_t tables_phys, uint32_t window)
{
    __builtin_memset(t, 0, sizeof *t);
    for (uint32_t g = 0; g < 4; ++g) {
        t->pdpt[g] = at_phys(t->pd[g], t, tables_phys) | PRESENT;
        if (g == window) continue;
        for (uint64_t i = 0; i < 512; ++i) t->pd[g][i] = (g * PAGING_GIB + i * LARGE) | PRESENT | WRITABLE | LARGE_PAGE;
    }
    t->pd[0][0] = at_phys(t->low, t, tables_phys) | PRESENT | WRITABLE;
    for (uint64_t i = 0; i < 512; ++i) t->low[i] = i * PAGE | PRESENT | WRITABLE;
}

pae_map pae_plan(uint64_t fb, uint64_t span, uint64_t keep_at, uint64_t keep, cpu_paging cpu,
                 pae_tables* t, uint64_t tables_phys)
{
    if (!cpu.pae) return {"no PAE in this processor", 0};
    // An entry naming an address past the processor's width sets reserved
    // bits: the first store would fault, and with no handler the machine
    // resets, boots again and faults again, for ever.
    const uint32_t bits = cpu.phys_bits < PAE_MAX_BITS ? cpu.phys_bits : PAE_MAX_BITS;
    const uint64_t limit = uint64_t{1} << bits;
    if (span == 0 || fb >= limit || span > limit - fb) return {"beyond the CPU's address width", 0};

    const uint64_t end = fb + span;
    const uint64_t first = fb & ~(LARGE - 1);
    const uint64_t last = (end + LARGE - 1) & ~(LARGE - 1);
    if (last - first > PAGING_GIB) return {"larger than the 1 GiB window", 0};

    // Every GiB but the window stays mapped as itself, so the kept bytes
    // must lie outside it. The first GiB holds the kernel: never the window.
    uint32_t window = 3;
    for (; window > 0; --window) {
        const uint64_t lo = window * PAGING_GIB, hi = lo + PAGING_GIB;
        if (keep == 0 || keep_at >= hi || keep_at + keep <= lo) break;
    }
    if (window == 0) return {"boot information in every window", 0};
    const uint32_t address = static_cast<uint32_t>(window * PAGING_GIB + (fb - first));
    if (!t) return {nullptr, address};

    identity(t, tables_phys, window);
    // The framebuffer keeps its place within 2 MiB, so that 2 MiB pages map
    // all of it but the ends; those get 4 KiB pages, and only the pages
    // that hold framebuffer bytes are mapped.
    const uint64_t lo = fb & ~(PAGE - 1), hi = (end + PAGE - 1) & ~(PAGE - 1);
    uint32_t tables = 0;
    for (uint64_t at = first; at < last; at += LARGE) {
        uint64_t& pde = t->pd[window][(at - first) / LARGE];
        if (lo <= at && at + LARGE <= hi) {
            pde = at | PRESENT | WRITABLE | LARGE_PAGE;
            continue;
        }
        uint64_t* pt = t->pt[tables++];  // only the first and the last 2 MiB come here
        pde = at_phys(pt, t, tables_phys) | PRESENT | WRITABLE;
        for (uint64_t i = 0; i < 512; ++i) {
            const uint64_t page = at + i * PAGE;
            if (lo <= page && page < hi) pt[i] = page | PRESENT | WRITABLE;
        }
    }
    return {nullptr, address};
}

uint32_t pae_map_regs(pae_tables* t, uint64_t tables_phys, uint32_t window, uint32_t* used, uint64_t at,
                      uint64_t size, cpu_paging cpu)
{
    const uint64_t limit = uint64_t{1} << (cpu.phys_bits < PAE_MAX_BITS ? cpu.phys_bits : PAE_MAX_BITS);
    if (!cpu.pae || size == 0 || at >= limit || size > limit - at || window == 0 || window > 3) return 0;
    const uint64_t first = at & ~(PAGE - 1);
    const uint64_t pages = (at + size - first + PAGE - 1) / PAGE;
    if (*used > 512 || pages > 512 - *used) return 0;
    uint64_t& pde = t->pd[window][REGS_SLOT];
    const uint64_t table = at_phys(t->regs, t, tables_phys) | PRESENT | WRITABLE;
    // Free, ours already, or mapped as itself; never the framebuffer's.
    const uint64_t itself = (window * PAGING_GIB + REGS_SLOT * LARGE) | PRESENT | WRITABLE | LARGE_PAGE;
    if (pde != 0 && pde != table && pde != itself) return 0;
    pde = table;
    for (uint64_t i = 0; i < pages; ++i) t->regs[*used + i] = (first + i * PAGE) | PRESENT | WRITABLE | UNCACHED;
    const uint32_t linear = uint32_t(window * PAGING_GIB + REGS_SLOT * LARGE + *used * PAGE + (at - first));
    *used += uint32_t(pages);
    return linear;
}

static pae_tables tables;
static uint32_t window;      // the GiB the framebuffer or the registers take; 0 while paging is off
static bool fb_mapped;
static uint32_t regs_used;   // pages of the regs table taken

void paging_map_fb(uint64_t fb, uint64_t span, uint64_t keep_at, uint64_t keep)
{
    // Paging is off while this runs: the tables' address is their physical one.
    const uint64_t at = reinterpret_cast<uintptr_t>(&tables);
    const pae_map map = pae_plan(fb, span, keep_at, keep, cpu_paging_read(), &tables, at);
    cpu_paging_on(reinterpret_cast<uintptr_t>(tables.pdpt));
    paging_fb = cpu_linear(map.address);
    window = map.address >> 30;
    fb_mapped = true;
}

uintptr_t paging_reach(uint64_t at, uint64_t size)
{
    if (size == 0 || at + size < at) return 0;
    // What paging does not map as itself: the window where the framebuffer
    // took it, else only the registers' 2 MiB.
    const uint64_t hidden = window * PAGING_GIB + (fb_mapped ? 0 : REGS_SLOT * LARGE);
    const bool itself = at + size <= FOUR_GIB && (window == 0 || at + size <= hidden || at >= window * PAGING_GIB + PAGING_GIB);
    if (itself) return static_cast<uintptr_t>(at);
    const uint64_t phys = reinterpret_cast<uintptr_t>(&tables);
    const bool was_on = window != 0;
    // Every GiB as itself; the top 2 MiB below 4 GiB, the firmware's flash,
    // give way to the registers.
    if (!was_on) identity(&tables, phys, 4);
    const uint32_t in = was_on ? window : 3;
    const uint32_t linear = pae_map_regs(&tables, phys, in, &regs_used, at, size, cpu_paging_read());
    if (!linear) return 0;
    window = in;
    // Turned on, or the tables read again: the processor may hold the old entries.
    cpu_paging_on(reinterpret_cast<uintptr_t>(tables.pdpt));
    return cpu_linear(linear);
}
