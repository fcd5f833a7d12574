// USB keyboards and pointers without a controller: reports as the key codes
// and pointer moves the PS/2 side gives, and the descriptors that say how
// to read them, whole and cut short.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../../teaser/hid.h"
#include "../../teaser/input.h"
#include "../../teaser/usb.h"
#include "support/oracle.h"
#include "support/sim8042.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A tablet as QEMU's is laid out: three buttons and padding, X and Y of 16
// bits from 0 to 0x7FFF, a wheel.
const Bytes TABLET = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29,
                      0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05,
                      0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x00, 0x26, 0xFF, 0x7F, 0x75, 0x10,
                      0x95, 0x02, 0x81, 0x02, 0x09, 0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x01, 0x81,
                      0x06, 0xC0, 0xC0};
// A mouse whose reports carry ID 2: buttons, then X and Y relative, 8 bits each.
const Bytes MOUSE_ID2 = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03,
                         0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x05, 0x81, 0x01,
                         0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02,
                         0x81, 0x06, 0xC0};
// A boot keyboard's configuration: configuration, interface, HID and endpoint descriptors.
const Bytes KEYBOARD_CONFIG = {9, 2, 34, 0, 1, 1, 0, 0xA0, 50, 9, 4, 0, 0, 1, 3, 1, 1, 0, 9, 0x21, 0x11,
                               1, 0, 1, 0x22, 63, 0, 7, 5, 0x81, 3, 8, 0, 10};

Bytes queued()
{
    Bytes out;
    uint8_t sc;
    while (hid_key_pop(&sc)) out.push_back(sc);
    return out;
}

struct Hid : ::testing::Test {
    hid_kbd k{};
    void SetUp() override
    {
        input_reset(1024, 768);
        sim.idle_limit = ~0ull;  // every poll finds the 8042 empty
        kbd_second_source = usb_key;
    }
    Bytes report(Bytes r, uint32_t now = 0)
    {
        hid_kbd_report(k, r.data(), uint32_t(r.size()), now);
        return queued();
    }
};

TEST_F(Hid, NewlyPressedKeysAndModifiersQueueTheirMakeCodesOnce)
{
    const struct {
        Bytes report, makes;
        int shift;
    } steps[] = {
        {{0, 0, 0x04, 0, 0, 0, 0, 0}, {0x1E}, 0},        // A
        {{0, 0, 0x04, 0x05, 0, 0, 0, 0}, {0x30}, 0},     // B beside the held A
        {{0, 0, 0x05, 0, 0, 0, 0, 0}, {}, 0},            // A let go
        {{0x20, 0, 0x05, 0, 0, 0, 0, 0}, {0x36}, 1},     // right Shift
        {{0, 0, 1, 1, 1, 1, 1, 1}, {}, 1},               // too many keys: the report is passed over
        {{0x02, 0, 0x4F, 0x58, 0, 0, 0, 0}, {0x2A, 0x4D, 0x1C}, 1},  // left Shift for the right one, Right, keypad Enter
        {{0, 0, 0, 0, 0, 0, 0, 0}, {}, 0},
        {{0, 0, 0x09, 0x09}, {0x21}, 0},                 // short, the same key twice
    };
    for (const auto& s : steps) {
        EXPECT_EQ(report(s.report), s.makes);
        EXPECT_EQ(kbd_shift, s.shift);
    }
}

// Every key that types a character on a US keyboard gives, through the
// poll, the character and last_sc that the same key gives on PS/2.
TEST_F(Hid, EveryCharacterKeyTypesAsOnPs2)
{
    const char* usages = "abcdefghijklmnopqrstuvwxyz1234567890\n\x1b\b\t -=[]\\\0;'`,./";
    for (int shift = 0; shift < 2; ++shift)
        for (uint8_t u = 4; u < 0x39; ++u) {
            const uint8_t ch = uint8_t(usages[u - 4]);
            if (ch == 0) continue;  // the non-US key beside Enter
            uint8_t make = 0;
            while (us_key(make, false) != ch && make < 0x3A) ++make;
            if (ch == 0x1B) make = 0x01;
            if (ch == '\b') make = 0x0E;
            const Bytes press = {uint8_t(shift ? 0x02 : 0), 0, u, 0, 0, 0, 0, 0};
            hid_kbd_report(k, press.data(), 8, 0);
            int got = KEY_NONE;
            for (int poll = 0; poll < 3 && got == KEY_NONE; ++poll) got = kbd_read_raw();  // Shift first
            const int want = make == 0x01 ? KEY_ESC : make == 0x0E ? KEY_BACKSPACE : us_key(make, shift);
            EXPECT_EQ(got, want) << int(u);
            EXPECT_EQ(last_sc, make) << int(u);
            EXPECT_TRUE(report({0, 0, 0, 0, 0, 0, 0, 0}).empty());
        }
}

TEST_F(Hid, AHeldKeyRepeatsAfterHalfASecondThenTenTimesASecond)
{
    EXPECT_EQ(report({0, 0, 0x04, 0, 0, 0, 0, 0}, 1000), Bytes{0x1E});
    Bytes got;
    for (uint32_t t = 1000; t <= 1800; t += 50) {
        hid_kbd_repeat(k, t);
        for (uint8_t sc : queued()) got.push_back(sc);
        if (t == 1450) {
            EXPECT_TRUE(got.empty());
        }
    }
    EXPECT_EQ(got, Bytes(4, 0x1E));  // at 1500, 1600, 1700 and 1800
    report({0, 0, 0, 0, 0, 0, 0, 0}, 1850);
    hid_kbd_repeat(k, 5000);
    EXPECT_TRUE(queued().empty());
    // Caps Lock toggles once a press, however long it is held.
    EXPECT_EQ(report({0, 0, 0x39, 0, 0, 0, 0, 0}, 6000), Bytes{0x3A});
    hid_kbd_repeat(k, 9000);
    EXPECT_TRUE(queued().empty());
}

TEST_F(Hid, ATabletPutsThePointerWhereTheHostsPointerIs)
{
    hid_pointer p{};
    ASSERT_TRUE(hid_parse_report_desc(TABLET.data(), uint32_t(TABLET.size()), &p));
    EXPECT_TRUE(p.absolute);
    // The host's pointer at (x, y) of a 1024 x 768 window, as QEMU scales it.
    for (int32_t x : {0, 1, 331, 512, 1023})
        for (int32_t y : {0, 384, 767}) {
            const uint32_t vx = uint32_t(x) * 0x7FFF / 1024, vy = uint32_t(y) * 0x7FFF / 768;
            const Bytes r = {1, uint8_t(vx), uint8_t(vx >> 8), uint8_t(vy), uint8_t(vy >> 8), 0};
            hid_pointer_report(p, r.data(), uint32_t(r.size()));
            EXPECT_EQ(mouse_x, x);
            EXPECT_EQ(mouse_y, y);
            EXPECT_EQ(mouse_btn, 1);
        }
    hid_pointer_report(p, Bytes{0, 0xFF, 0xFF}.data(), 3);  // too short for Y: nothing changes
    EXPECT_EQ(mouse_btn, 1);
}

TEST_F(Hid, MiceMoveThePointerAsAPs2PacketDoesClampedAtTheEdges)
{
    hid_pointer id2{};
    ASSERT_TRUE(hid_parse_report_desc(MOUSE_ID2.data(), uint32_t(MOUSE_ID2.size()), &id2));
    EXPECT_FALSE(id2.absolute);
    EXPECT_EQ(id2.report_id, 2);
    const struct {
        const hid_pointer& p;
        Bytes r;
        int32_t x, y, btn;
    } steps[] = {
        {HID_BOOT_MOUSE, {0x01, 5, 0xFD, 0}, 517, 381, 1},  // right 5, up 3, left button
        {HID_BOOT_MOUSE, {0x02, 0x81, 0x81}, 390, 254, 0},  // the right button is not the left
        {id2, {1, 0x01, 100, 0}, 390, 254, 0},              // another report's ID
        {id2, {2, 0x01, 0x7F, 0x7F}, 517, 381, 1},
        {id2, {2, 0x00, 0x7F, 0x7F}, 644, 508, 0},
    };
    for (const auto& s : steps) {
        hid_pointer_report(s.p, s.r.data(), uint32_t(s.r.size()));
        EXPECT_EQ(mouse_x, s.x);
        EXPECT_EQ(mouse_y, s.y);
        EXPECT_EQ(mouse_btn, s.btn);
    }
    for (int i = 0; i < 10; ++i) hid_pointer_report(HID_BOOT_MOUSE, Bytes{0, 0x7F, 0x7F}.data(), 3);
    EXPECT_EQ(mouse_x, 1023);
    EXPECT_EQ(mouse_y, 767);
}

// Cut short at every length, no descriptor is read past its end (the
// sanitizers watch each copy), and none gives what it does not hold.
TEST_F(Hid, DescriptorsCutShortAreReadNoFurther)
{
    usb_iface f[2];
    ASSERT_EQ(usb_parse_config(KEYBOARD_CONFIG.data(), uint32_t(KEYBOARD_CONFIG.size()), f, 2), 1);
    EXPECT_EQ(f[0].kind, HID_KEYBOARD);
    EXPECT_EQ(f[0].ep, 1);
    EXPECT_EQ(f[0].mps, 8);
    EXPECT_EQ(f[0].report_len, 63);
    for (const Bytes* d : {&KEYBOARD_CONFIG, &TABLET, &MOUSE_ID2})
        for (size_t n = 0; n < d->size(); ++n) {
            std::vector<uint8_t> cut(d->begin(), d->begin() + long(n));
            hid_pointer p{};
            const bool ok = hid_parse_report_desc(cut.data(), uint32_t(n), &p);
            EXPECT_FALSE(ok && d == &KEYBOARD_CONFIG);
            EXPECT_TRUE(!ok || p.y.bit + p.y.size <= 64u * 8);
            EXPECT_TRUE(d != &KEYBOARD_CONFIG || usb_parse_config(cut.data(), uint32_t(n), f, 2) == 0) << n;
        }
}

TEST(NoController, AllOnesFromThe8042GivesNoKeyMoveOrClick)
{
    input_reset(800, 600);
    sim.mode = Sim8042::Mode::stuck_ff;
    sim.idle_limit = 1000;
    mouse_setup(800, 600);
    EXPECT_FALSE(ps2_present);
    EXPECT_LE(sim.idle_reads, 2u * PS2_DRAIN_MAX + 2);
    EXPECT_TRUE(sim.writes.empty());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(kbd_read_raw(), KEY_NONE);
    EXPECT_EQ(mouse_x, 400);
    EXPECT_EQ(mouse_y, 300);
    EXPECT_EQ(mouse_btn, 0);
}

}  // namespace
