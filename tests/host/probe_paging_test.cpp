// The probe on a framebuffer above 4 GiB: drawn through the window paging
// maps it into, its status saying so, or refused with the reason in the
// report, within its columns, and nothing drawn.
#include <cstring>

#include "../../fbprobe/kernel.h"
#include "probe_testing.h"
#include "support/simcpu.h"

namespace {
using namespace probe_test;

constexpr uint64_t HIGH = 0x7000000000ull;  // 448 GiB, as one desktop board hands it over

struct Cpu {
    Cpu() { sim_cpu_high_ram(HIGH, reinterpret_cast<void*>(FB_TEST_BASE), FB_TEST_WINDOW); }
    ~Cpu() { sim_cpu_reset(); }
};

uint32_t info_with(const mb2_fb_tag& t)
{
    BootInfo bi;
    bi.add_fb(t.addr, t.pitch, t.width, t.height, t.bpp, t.fb_type);
    bi.end();
    return bi.place();
}

mb2_fb_tag high_tag(const TestFb& fb)
{
    mb2_fb_tag tag = tag_for(fb);
    tag.addr = HIGH + (reinterpret_cast<uintptr_t>(fb.base) - FB_TEST_BASE);
    return tag;
}

TEST(ProbeAbove4GiB, DrawsTheTestPictureThroughTheWindowAndSaysSo)
{
    for (uint32_t bpp : {32u, 24u}) {
        const Cpu cpu;
        sim_cpu_wide(39);
        reset_text();
        TestFb fb(800, 600, bpp);
        const mb2_fb_tag tag = high_tag(fb);
        sim_tap(0x39);  // a retry draws it all again
        EXPECT_THROW(kernel_main(MB2_BOOT_MAGIC, info_with(tag)), SimExhausted);
        EXPECT_EQ(sim_cpu.paging_on_calls, 1);
        EXPECT_TRUE(picture_is_test_pattern(fb));
        EXPECT_TRUE(fb.guards_intact());
        // The address keeps the layout of ten characters: its low half.
        EXPECT_TRUE(screen_is(overlay(tag).put(1, 18, "- above 4 GiB, through PAE paging", 0x0A)));
    }
}

TEST(ProbeAbove4GiB, ARefusalNamesItsReason)
{
    const struct {
        const char* why;
        uint32_t edx, bits, pitch;
    } cases[] = {
        {"no PAE in this processor", 0, 40, 0},
        {"beyond the CPU's address width", 1u << 6, 38, 0},    // 448 GiB needs 39 bits
        {"beyond the CPU's address width", 1u << 6 | 1u << 17, 0, 0},  // PSE-36 alone: 36 bits
        {"larger than the 1 GiB window", 1u << 6, 39, 2u << 20},  // 600 rows of 2 MiB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const Cpu cpu;
        if (c.bits) sim_cpu_wide(c.bits);
        sim_cpu.leaf1_edx = c.edx;
        reset_text();
        TestFb fb(800, 600);
        mb2_fb_tag tag = high_tag(fb);
        if (c.pitch) tag.pitch = c.pitch;
        EXPECT_THROW(kernel_main(MB2_BOOT_MAGIC, info_with(tag)), SimExhausted);
        EXPECT_EQ(sim_cpu.paging_on_calls, 0);
        EXPECT_EQ(fb.written_pixels(), 0u);
        EXPECT_LE(46 + std::strlen(c.why), 80u);  // after "LINEAR RGB FB REFUSED - " at column 22
        EXPECT_TRUE(screen_is(tag_report(tag, c.why)));
    }
}

}  // namespace
