// The xHCI driver's arithmetic: its rings' laps and links, the pointers the
// controller reports checked against them, events decoded, service
// intervals; and the paging that reaches controller registers above 4 GiB
// beside a framebuffer there, read back by a walk of this file's own.
#include <gtest/gtest.h>

#include <memory>

#include "../../teaser/paging.h"
#include "../../teaser/usb.h"
#include "../../teaser/xhci.h"

namespace {

constexpr uint32_t RING_AT = 0x12340;

TEST(XhciRing, EachLapFlipsTheCycleBitAndTheLinkCarriesTheOldOne)
{
    xhci_trb trbs[4];
    xhci_ring r;
    xhci_ring_init(r, trbs, RING_AT, 4);
    EXPECT_EQ(trbs[3].lo, RING_AT);
    for (uint32_t n = 0; n < 7; ++n) {
        const uint32_t lap = n / 3, slot = n % 3;
        EXPECT_EQ(xhci_put(r, n, 0, 8, 1u << 10 | 1u), RING_AT + 16 * slot);
        EXPECT_EQ(trbs[slot].lo, n);
        EXPECT_EQ(trbs[slot].control, 1u << 10 | (lap % 2 ? 0u : 1u)) << n;  // the cycle bit asked for is ignored
        if (slot == 2) {
            EXPECT_EQ(trbs[3].control, 6u << 10 | 2u | (lap % 2 ? 0u : 1u));  // link, toggle
        }
    }
    EXPECT_EQ(r.enq, 1);
    EXPECT_EQ(r.cycle, 1);
}

TEST(XhciRing, OnlyTheRingsOwnTrbsAreFound)
{
    xhci_trb trbs[4];
    xhci_ring r;
    xhci_ring_init(r, trbs, RING_AT, 4);
    EXPECT_EQ(xhci_ring_index(r, RING_AT), 0);
    EXPECT_EQ(xhci_ring_index(r, RING_AT + 48), 3);
    const uint64_t at = RING_AT;
    for (uint64_t bad : {at - 16, at + 8, at + 64, at | uint64_t{1} << 32, uint64_t{0}})
        EXPECT_EQ(xhci_ring_index(r, bad), -1) << std::hex << bad;
}

TEST(XhciEvent, TransferEventFields)
{
    xhci_trb e;
    e.lo = 0xABCD0010;
    e.hi = 0x1;
    e.status = 13u << 24 | 0x000102;
    e.control = 5u << 24 | 3u << 16 | 32u << 10 | 1;
    const xhci_event ev = xhci_decode(e);
    EXPECT_EQ(ev.type, 32);
    EXPECT_EQ(ev.code, 13);
    EXPECT_EQ(ev.slot, 5);
    EXPECT_EQ(ev.dci, 3);
    EXPECT_EQ(ev.residual, 0x102u);
    EXPECT_EQ(ev.ptr, 0x1ABCD0010ull);
}

TEST(XhciInterval, MillisecondsAtLowAndFullSpeedExponentsAtHigh)
{
    const struct {
        uint8_t speed, interval, want;
    } cases[] = {
        {USB_FULL, 10, 6}, {USB_LOW, 1, 3}, {USB_FULL, 8, 6}, {USB_FULL, 255, 10}, {USB_FULL, 0, 3},
        {USB_HIGH, 7, 6},  {USB_HIGH, 4, 3}, {USB_HIGH, 0, 0}, {USB_SUPER, 20, 15},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xhci_interval(c.speed, c.interval), c.want) << int(c.speed) << " " << int(c.interval);
}

// ---- controller registers through paging --------------------------------------

constexpr uint64_t GIB = 1ull << 30, MIB2 = 2ull << 20;
constexpr uint64_t TABLES_AT = 0x00200000;

// The entry that maps `linear`, or 0: the tables' own addresses read as offsets from TABLES_AT.
uint64_t entry(const pae_tables& t, uint32_t linear)
{
    auto table = [&](uint64_t e) {
        return reinterpret_cast<const uint64_t*>(reinterpret_cast<const uint8_t*>(&t) + ((e & ~0xFFFull) - TABLES_AT));
    };
    const uint64_t pde = table(t.pdpt[linear >> 30])[(linear >> 21) & 511];
    if (!(pde & 1) || pde & 0x80) return pde;
    return table(pde)[(linear >> 12) & 511];
}

TEST(PaeRegisters, BesideTheFramebufferUncachedAndRefusedWhereTheyDoNotFit)
{
    auto t = std::make_unique<pae_tables>();
    const cpu_paging cpu{true, 40};
    ASSERT_EQ(pae_plan(1ull << 32, 1024 * 768 * 4, 0x100000, 64, cpu, t.get(), TABLES_AT).refusal, nullptr);
    // The first 2 MiB in 4 KiB pages, as themselves.
    EXPECT_EQ(entry(*t, 0xB8000), 0xB8000u | 3);
    uint32_t used = 0;
    const uint64_t xhci = 0xE000000000ull, ehci = 0xC1085040ull;
    const uint32_t a = pae_map_regs(t.get(), TABLES_AT, 3, &used, xhci, 0x4000, cpu);
    EXPECT_EQ(a, 3 * GIB + 511 * MIB2);
    const uint32_t b = pae_map_regs(t.get(), TABLES_AT, 3, &used, ehci, 0x100, cpu);
    EXPECT_EQ(b, a + 0x4000 + 0x40);  // the offset within its page kept
    EXPECT_EQ(used, 5u);
    EXPECT_EQ(entry(*t, a + 0x3FFC), (xhci + 0x3000) | 0x1B);  // present, writable, uncached
    EXPECT_EQ(entry(*t, b), (ehci & ~0xFFFull) | 0x1B);
    EXPECT_EQ(entry(*t, b + 0x1000), 0u);
    EXPECT_EQ(entry(*t, 3 * GIB + 0x1000), (1ull << 32) | 0x83);  // the framebuffer as it was

    EXPECT_EQ(pae_map_regs(t.get(), TABLES_AT, 3, &used, 1ull << 40, 0x1000, cpu), 0u);  // past the width
    EXPECT_EQ(pae_map_regs(t.get(), TABLES_AT, 3, &used, xhci, 508 * 4096, cpu), 0u);   // past the table
    used = 0;
    ASSERT_EQ(pae_plan(0x140000000ull, GIB, 0x100000, 64, cpu, t.get(), TABLES_AT).refusal, nullptr);
    EXPECT_EQ(pae_map_regs(t.get(), TABLES_AT, 3, &used, xhci, 0x4000, cpu), 0u);  // the window is all framebuffer
}

}  // namespace
