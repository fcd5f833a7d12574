// Paging for a framebuffer above 4 GiB: the tables, read back by a walk of
// this file's own, map the framebuffer's bytes for writing to the addresses
// drawing uses and nothing else into the window, keep the rest of the 32-bit
// space as itself and set no reserved bit; every refusal; the processor's
// width from CPUID; the framebuffer tag kept in place; and the teaser booted
// on such a framebuffer draws exactly what it draws below 4 GiB.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <memory>
#include <vector>

#include "../../teaser/bootinfo.h"
#include "../../teaser/draw.h"
#include "../../teaser/input.h"
#include "../../teaser/kernel.h"
#include "../../teaser/paging.h"
#include "support/fbmem.h"
#include "support/oracle.h"
#include "support/sim8042.h"
#include "support/simcpu.h"

namespace {

constexpr uint64_t GIB = 1ull << 30, MIB2 = 2ull << 20, KIB4 = 4096;
constexpr uint64_t TABLES_AT = 0x00200000;  // where the tables would lie, for the walk

struct Walk {
    const pae_tables& t;

    // The table at physical `at`, found by its place in the tables.
    const uint64_t* table(uint64_t at) const
    {
        const uint64_t off = at - TABLES_AT;
        EXPECT_TRUE(off < sizeof t && off % KIB4 == 0) << std::hex << at;
        return reinterpret_cast<const uint64_t*>(reinterpret_cast<const uint8_t*>(&t) + off);
    }
    // Physical address a store to a linear one reaches, or ~0 where it
    // faults: nothing mapped, or a read-only entry (the firmware may have
    // left CR0.WP set).
    uint64_t operator()(uint32_t linear) const
    {
        const uint64_t frame = 0x000FFFFFFFFFF000ull;
        const uint64_t pdpte = t.pdpt[linear >> 30];
        if (!(pdpte & 1)) return ~0ull;
        const uint64_t pde = table(pdpte & frame)[(linear >> 21) & 511];
        if ((pde & 3) != 3) return ~0ull;
        if (pde & 0x80) return (pde & frame & ~(MIB2 - 1)) + (linear & (MIB2 - 1));
        const uint64_t pte = table(pde & frame)[(linear >> 12) & 511];
        return (pte & 3) == 3 ? (pte & frame) + (linear & 0xFFF) : ~0ull;
    }
};

// No entry sets a bit the processor reserves: address bits at or above its
// width, bit 63, the low bits of a 2 MiB frame, or any flag of a PDPTE.
::testing::AssertionResult no_reserved_bits(const pae_tables& t, uint32_t bits)
{
    const uint64_t above = ~((1ull << bits) - 1);
    for (int g = 0; g < 4; ++g)
        if (t.pdpt[g] & (above | 0x1E6)) return ::testing::AssertionFailure() << "PDPTE " << g;
    for (int g = 0; g < 4; ++g)
        for (int i = 0; i < 512; ++i) {
            const uint64_t e = t.pd[g][i];
            if (e & above || (e & 0x80 && e & 0x1FE000)) return ::testing::AssertionFailure() << "PDE " << g << "/" << i;
        }
    for (const auto& pt : t.pt)
        for (uint64_t e : pt)
            if (e & above) return ::testing::AssertionFailure() << "PTE";
    return ::testing::AssertionSuccess();
}

const cpu_paging WIDE{true, 40};

TEST(PaeTables, TheWindowHoldsTheFramebufferAndNothingElse)
{
    const struct {
        uint64_t fb, span;
        uint32_t bits;
    } cases[] = {
        {1ull << 32, 1024 * 768 * 4, 36},                // where the end-to-end tests put it
        {0x7000000000ull, 3840ull * 2160 * 4, 39},        // a desktop board's
        {0xF8E0000000ull, 1280ull * 800 * 4, 40},         // a handheld's
        {0x100003010ull, 4096 * 3 + 5, 36},              // within one 2 MiB page, not page-aligned
        {0x1001FF000ull, 8192, 36},                       // across a 2 MiB boundary: two page tables
        {(1ull << 36) - 5 * MIB2 - 12, 5 * MIB2 + 12, 36},  // its last byte the width's last
        {0x140000000ull, GIB, 36},                       // the whole window
        {0x140001000ull, GIB - MIB2, 36},
    };
    auto t = std::make_unique<pae_tables>();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.fb << " + " << c.span);
        const pae_map plan = pae_plan(c.fb, c.span, 0x100000, 0x1000, {true, c.bits}, nullptr, 0);
        const pae_map map = pae_plan(c.fb, c.span, 0x100000, 0x1000, {true, c.bits}, t.get(), TABLES_AT);
        ASSERT_EQ(map.refusal, nullptr);
        EXPECT_EQ(plan.refusal, nullptr);
        EXPECT_EQ(plan.address, map.address);
        EXPECT_EQ(map.address, 3 * GIB + c.fb % MIB2);  // the top GiB, the offset within 2 MiB kept
        EXPECT_TRUE(no_reserved_bits(*t, c.bits));
        const Walk walk{*t};
        // Page by page: mapped where it holds framebuffer bytes, each byte
        // where drawing expects it, and unmapped everywhere else.
        for (uint64_t linear = 3 * GIB; linear < 4 * GIB; linear += KIB4) {
            const bool holds = linear + KIB4 > map.address && linear < map.address + c.span;
            ASSERT_EQ(walk(uint32_t(linear)), holds ? c.fb + (linear - map.address) : ~0ull) << std::hex << linear;
        }
        EXPECT_EQ(walk(map.address), c.fb);
        EXPECT_EQ(walk(uint32_t(map.address + c.span - 1)), c.fb + c.span - 1);
        // The rest of the 32-bit space is itself.
        for (uint64_t linear = 0; linear < 3 * GIB; linear += MIB2 / 2 + 4)
            ASSERT_EQ(walk(uint32_t(linear)), linear) << std::hex << linear;
    }
}

// The window moves away from the tag (the part of the boot information
// still read), which stays mapped as itself; the first GiB is never it.
TEST(PaeTables, TheWindowLeavesTheBootInformationInPlace)
{
    const struct {
        uint64_t keep_at, keep;
        uint32_t window;  // 0: refused
    } cases[] = {
        {0x100308, 64, 3},          {0x4000, 64, 3},           {0xC0000000, 32, 2},     {0xFFFFFFE0, 32, 2},
        {0xBFFFFFF0, 32, 1},        {0x80000000, 2 * GIB, 1},  {0x7FFFFFF0, 32, 3},     {0x7FFFFFF0, GIB + 32, 0},
        {0x40000000, 3 * GIB, 0},   {0x123456789ull, 64, 3},   {0xBFFFFFE0, 32, 3},  // ending where the top GiB begins
    };
    auto t = std::make_unique<pae_tables>();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.keep_at << " + " << c.keep);
        const pae_map map = pae_plan(1ull << 32, 4 << 20, c.keep_at, c.keep, WIDE, t.get(), TABLES_AT);
        if (!c.window) {
            EXPECT_STREQ(map.refusal, "boot information in every window");
            continue;
        }
        ASSERT_EQ(map.refusal, nullptr);
        EXPECT_EQ(map.address, c.window * GIB);
        const Walk walk{*t};
        for (uint64_t at = c.keep_at; at < c.keep_at + c.keep && at < 4 * GIB; at += MIB2)
            EXPECT_EQ(walk(uint32_t(at)), at);
        EXPECT_EQ(walk(0xB8000), 0xB8000u);  // VGA text memory
        EXPECT_EQ(walk(0x100000), 0x100000u);  // the kernel's image
    }
}

TEST(PaeTables, Refusals)
{
    const struct {
        uint64_t fb, span;
        cpu_paging cpu;
        const char* why;
    } cases[] = {
        {1ull << 32, 1 << 20, {false, 36}, "no PAE in this processor"},
        {1ull << 32, 1 << 20, {true, 32}, "beyond the CPU's address width"},
        {(1ull << 36) - 4096, 4097, {true, 36}, "beyond the CPU's address width"},
        {1ull << 36, 4096, {true, 36}, "beyond the CPU's address width"},
        {0xFFFFFFFFFFFFF000ull, 4096, {true, 52}, "beyond the CPU's address width"},
        {0x7000000000ull, 4096, {true, 36}, "beyond the CPU's address width"},
        {0x140000000ull, GIB + 1, WIDE, "larger than the 1 GiB window"},
        {0x140100000ull, GIB - MIB2 / 2 + 1, WIDE, "larger than the 1 GiB window"},  // rounded out to 2 MiB pages
        {1ull << 32, 0, WIDE, "beyond the CPU's address width"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.fb << " + " << c.span);
        pae_tables* none = nullptr;
        EXPECT_STREQ(pae_plan(c.fb, c.span, 0x100000, 64, c.cpu, none, 0).refusal, c.why);
    }
}

TEST(PaeTables, TheWidthComesFromCpuid)
{
    const struct {
        uint32_t edx, max_extended, sizes;
        cpu_paging want;
    } cases[] = {
        {1u << 6, 0x80000004, 40, {true, 32}},              // qemu32: no PSE-36, no leaf 0x80000008
        {1u << 6 | 1u << 17, 0x80000004, 40, {true, 36}},   // PSE-36
        {1u << 6, 0x80000008, 40, {true, 40}},              // the leaf, where it exists, decides
        {1u << 6 | 1u << 17, 0x80000008, 0x3027, {true, 39}},  // its low byte only
        {0, 0x80000008, 36, {false, 36}},
        {1u << 6, 0x00000004, 40, {true, 32}},              // no extended leaves at all
        {1u << 6 | 1u << 17, 0x80010000, 40, {true, 36}},   // an implausible maximum: no extended leaves
        {1u << 6, 0x8000FFFF, 40, {true, 40}},
    };
    for (const auto& c : cases) {
        sim_cpu_reset();
        sim_cpu.leaf1_edx = c.edx;
        sim_cpu.max_extended = c.max_extended;
        sim_cpu.address_sizes = c.sizes;
        const cpu_paging got = cpu_paging_read();
        EXPECT_EQ(got.pae, c.want.pae);
        EXPECT_EQ(got.phys_bits, c.want.phys_bits) << std::hex << c.edx << " " << c.max_extended;
    }
    sim_cpu_reset();
}

// ---- the teaser on such a framebuffer --------------------------------------

struct HighRam {
    explicit HighRam(uint32_t bits) { sim_cpu_wide(bits); }
    ~HighRam() { sim_cpu_reset(); }
};

// Boots the teaser to its splash; returns the picture and every pause. The
// accent line's pulse goes on from boot to boot: its rows are left out.
std::pair<std::vector<uint32_t>, std::vector<int32_t>> boot_to_splash(const TestFb& fb, uint64_t addr)
{
    BootInfo bi;
    bi.add_tag(1, {'c', 'm', 'd', 0});
    bi.add_fb(addr, fb.pitch, fb.width, fb.height, uint8_t(fb.bpp));
    bi.end();
    const uint32_t info = bi.place();
    sim_reset();
    input_reset();
    EXPECT_THROW(kernel_main(MB2_BOOT_MAGIC, info), SimExhausted);
    EXPECT_TRUE(fb.guards_intact());
    auto picture = fb.snapshot();
    picture.erase(picture.begin() + (fb.height / 2 + 2) * fb.width, picture.begin() + (fb.height / 2 + 4) * fb.width);
    return {picture, sim.pauses};
}

TEST(HighFramebuffer, TheTeaserDrawsThereWhatItDrawsBelowFourGiB)
{
    for (uint32_t bpp : {32u, 24u}) {
        SCOPED_TRACE(bpp);
        TestFb fb(640, 480, bpp, 640 * bpp / 8 + 12);
        const auto below = boot_to_splash(fb, reinterpret_cast<uintptr_t>(fb.base));
        EXPECT_EQ(sim_cpu.paging_on_calls, 0);

        const HighRam cpu(40);
        const uint64_t high = 0xF8E0000000ull;
        sim_cpu_high_ram(high, reinterpret_cast<void*>(FB_TEST_BASE), FB_TEST_WINDOW);
        fb.clear(FB_CANARY);
        const uint64_t addr = high + (reinterpret_cast<uintptr_t>(fb.base) - FB_TEST_BASE);
        const auto above = boot_to_splash(fb, addr);
        EXPECT_EQ(sim_cpu.paging_on_calls, 1);
        EXPECT_EQ(FB_ADDR, addr);  // the record keeps all 64 bits
        EXPECT_EQ(sim_cpu_translate(0x100000), 0x100000u);
        EXPECT_TRUE(above.first == below.first) << "the pictures differ";
        EXPECT_EQ(above.second, below.second);
    }
}

// The framebuffer tag is read again once paging is on: a tag in the top GiB
// keeps its place, and the window moves down to the GiB below it.
TEST(HighFramebuffer, TheMappingKeepsTheTagInPlace)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer has no shadow for memory mapped at 3 GiB";
#endif
    const uintptr_t at = 0xC0000000;  // clear of a 32-bit program's libraries and stack
    void* page = mmap(reinterpret_cast<void*>(at), 4096, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (page != reinterpret_cast<void*>(at)) GTEST_SKIP() << "no memory at 3 GiB (AddressSanitizer's shadow)";
    const struct Unmap { void* p; ~Unmap() { munmap(p, 4096); } } unmap{page};
    const HighRam cpu(40);
    const uint64_t high = 0xF8E0000000ull;
    sim_cpu_high_ram(high, reinterpret_cast<void*>(FB_TEST_BASE), FB_TEST_WINDOW);
    const mb2_fb_tag tag{MB2_TAG_FRAMEBUFFER, 32, high + 0x1000, 640 * 4, 640, 480, 32, MB2_FB_TYPE_RGB};
    std::memcpy(page, &tag, sizeof tag);
    const auto* placed = static_cast<const mb2_fb_tag*>(page);
    ASSERT_TRUE(fb_tag_usable(placed));
    fb_tag_map(placed);
    EXPECT_EQ(sim_cpu_translate(uint32_t(at)), at);
    EXPECT_EQ(sim_cpu_translate(uint32_t(at + 31)), at + 31);
    EXPECT_EQ(sim_cpu_translate(uint32_t(2 * GIB + 0x1000)), high + 0x1000);
    EXPECT_EQ(paging_fb, FB_TEST_BASE + 0x1000);
}

}  // namespace
