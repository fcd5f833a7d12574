#include "paging.h"
#include "../boot/hw.h"

uintptr_t paging_fb;

static constexpr uint64_t PAGE = 0x1000;
static constexpr uint64_t LARGE = 0x200000;  // a 2 MiB page
static constexpr uint64_t PRESENT = 1, WRITABLE = 2, LARGE_PAGE = 0x80;
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

    __builtin_memset(t, 0, sizeof *t);
    for (uint32_t g = 0; g < 4; ++g) {
        t->pdpt[g] = at_phys(t->pd[g], t, tables_phys) | PRESENT;
        if (g == window) continue;
        for (uint64_t i = 0; i < 512; ++i) t->pd[g][i] = (g * PAGING_GIB + i * LARGE) | PRESENT | WRITABLE | LARGE_PAGE;
    }
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

static pae_tables tables;

void paging_map_fb(uint64_t fb, uint64_t span, uint64_t keep_at, uint64_t keep)
{
    // Paging is off while this runs: the tables' address is their physical one.
    const uint64_t at = reinterpret_cast<uintptr_t>(&tables);
    const pae_map map = pae_plan(fb, span, keep_at, keep, cpu_paging_read(), &tables, at);
    cpu_paging_on(reinterpret_cast<uintptr_t>(tables.pdpt));
    paging_fb = cpu_linear(map.address);
}
