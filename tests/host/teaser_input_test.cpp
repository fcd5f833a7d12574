// The polled reader: key codes with Shift and Caps Lock, last_sc, and the
// mouse packet assembler fed through the same poll.
#include <gtest/gtest.h>

#include <vector>

#include "../../teaser/input.h"
#include "support/oracle.h"
#include "support/sim8042.h"

namespace {

struct Input : ::testing::Test {
    void SetUp() override
    {
        input_reset(800, 600);
        sim.idle_limit = 1000;
    }
    // Every non-nothing result of polling until the script is used up.
    std::vector<int> keys()
    {
        std::vector<int> out;
        while (!sim.out.empty()) {
            int k = kbd_read_raw();
            if (k != KEY_NONE) out.push_back(k);
        }
        return out;
    }
};

TEST_F(Input, NothingWaitingLeavesLastScancodeAlone)
{
    last_sc = 0x33;
    EXPECT_EQ(kbd_read_raw(), -1);
    EXPECT_EQ(last_sc, 0x33);
}

TEST_F(Input, PressAndReleaseGiveOneCharacter)
{
    sim_keys({0x1E});
    EXPECT_EQ(kbd_read_raw(), 'a');
    sim_keys({0x9E});
    EXPECT_EQ(kbd_read_raw(), -1);
    EXPECT_EQ(last_sc, 0x1E);
}

// Every make code, without and with Shift, gives the US layout's character;
// ESC, Backspace, Shift and Caps Lock have their own results.
TEST_F(Input, EveryMakeCodeGivesItsUSCharacter)
{
    for (int shift = 0; shift < 2; ++shift)
        for (int code = 0; code < 0x80; ++code) {
            if (code == 0x2A || code == 0x36 || code == 0x3A) continue;
            kbd_shift = shift;
            sim_keys({uint8_t(code)});
            const int want = code == 0x01 ? 27 : code == 0x0E ? 8 : us_key(uint8_t(code), shift);
            EXPECT_EQ(kbd_read_raw(), want) << std::hex << code << (shift ? " with Shift" : "");
        }
}

TEST_F(Input, ShiftAndCapsLockCancelForLettersOnly)
{
    sim_keys({0x3A, 0xBA, 0x1E});  // Caps Lock on, then a
    EXPECT_EQ(keys(), std::vector<int>{'A'});
    sim_keys({0x2A, 0x1E, 0xAA});  // with Shift held
    EXPECT_EQ(keys(), std::vector<int>{'a'});
    sim_keys({0x02, 0x2A, 0x02, 0xAA});  // digits ignore Caps Lock
    EXPECT_EQ(keys(), (std::vector<int>{'1', '!'}));
}

TEST_F(Input, ReleasingEitherShiftClearsIt)
{
    sim_keys({0x2A, 0x36, 0xB6, 0x1E});
    EXPECT_EQ(keys(), std::vector<int>{'a'});
}

TEST_F(Input, ExtendedKeysAreSeenByTheirSecondByte)
{
    sim_keys({0xE0});
    EXPECT_EQ(kbd_read_raw(), -1);
    EXPECT_EQ(last_sc, 0x60);
    sim_keys({0x4B});
    EXPECT_EQ(kbd_read_raw(), 0);
    EXPECT_EQ(last_sc, 0x4B);
    sim_keys({0xE0, 0xCB});
    EXPECT_TRUE(keys().empty());
    sim_keys({0xE0, 0x1C});  // keypad Enter
    EXPECT_EQ(keys(), std::vector<int>{'\n'});
    sim_keys({0x37, 0x2A, 0x37, 0xAA});  // keypad asterisk, with and without Shift
    EXPECT_EQ(keys(), (std::vector<int>{'*', '*'}));
}

TEST_F(Input, EscapeBackspaceAndKeysWithoutCharacters)
{
    sim_keys({0x01});
    EXPECT_EQ(kbd_read_raw(), 27);
    sim_keys({0x81});
    EXPECT_EQ(kbd_read_raw(), -1);
    EXPECT_EQ(last_sc, 0x01);
    sim_keys({0x0E, 0x0F, 0x1C, 0x3B, 0x1D});  // Backspace, Tab, Enter, F1, Ctrl
    EXPECT_EQ(keys(), (std::vector<int>{8, 9, '\n', 0, 0}));
}

TEST_F(Input, MouseBytesNeverCountAsKeys)
{
    last_sc = 0x1E;
    sim_mouse({0x1E, 0x01, 0x9E});  // even bytes that look like key codes
    EXPECT_TRUE(keys().empty());
    EXPECT_EQ(last_sc, 0x1E);
}

TEST_F(Input, PacketsMoveThePointerOnceComplete)
{
    sim_mouse({0x00, 0x08, 0x05});  // a stray byte without bit 3 is dropped
    keys();
    EXPECT_EQ(mouse_x, 400);
    sim_mouse({0x03});
    keys();
    EXPECT_EQ(mouse_x, 405);
    EXPECT_EQ(mouse_y, 297);
    EXPECT_EQ(mouse_btn, 0);

    sim_mouse({0x09, 0xFF, 0x01});
    keys();
    EXPECT_EQ(mouse_x, 404);
    EXPECT_EQ(mouse_y, 296);
    EXPECT_EQ(mouse_btn, 1);

    sim_mouse({0x0A, 0x00, 0x00});  // the right button is not the pointer's button
    keys();
    EXPECT_EQ(mouse_btn, 0);
}

TEST_F(Input, KeysBetweenPacketBytesDoNotDisturbEither)
{
    sim_mouse({0x08, 0x10});
    sim_keys({0x1E});
    sim_mouse({0x00});
    EXPECT_EQ(keys(), std::vector<int>{'a'});
    EXPECT_EQ(mouse_x, 416);
}

TEST_F(Input, ThePointerIsClampedToTheScreen)
{
    mouse_x = 0;
    sim_mouse({0x18, 0xF6, 0x00});  // -10
    keys();
    EXPECT_EQ(mouse_x, 0);
    mouse_x = 799;
    mouse_y = 599;
    sim_mouse({0x28, 0x7F, 0x80});  // +127 right, 128 down
    keys();
    EXPECT_EQ(mouse_x, 799);
    EXPECT_EQ(mouse_y, 599);
}

}  // namespace
