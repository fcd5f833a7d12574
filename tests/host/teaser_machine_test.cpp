// Talking to the controller: the mouse set-up's order and time-outs, the
// reset sequence, and the delay's bounds.
#include <gtest/gtest.h>

#include <chrono>

#include "../../teaser/input.h"
#include "../../teaser/machine.h"
#include "support/sim8042.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(MouseSetup, CommandsInOrderWithAnAcknowledgingMouse)
{
    sim_reset();
    sim.config = 0x67;  // second-port clock off, interrupts on
    mouse_setup(1024, 768);
    EXPECT_EQ(sim_written(0x64), (Bytes{0xA8, 0x20, 0x60, 0xD4, 0xD4, 0xD4, 0xD4}));
    EXPECT_EQ(sim_written(0x60), (Bytes{0x67 & 0xDD, 0xFF, 0xF3, 100, 0xF4}));
    EXPECT_TRUE(sim.out.empty());  // every reply was read
    EXPECT_EQ(mouse_x, 512);
    EXPECT_EQ(mouse_y, 384);
    EXPECT_EQ(mouse_max_x, 1023);
    EXPECT_EQ(mouse_max_y, 767);
}

TEST(MouseSetup, StopsAfterAResetWithoutAcknowledge)
{
    sim_reset();
    sim.mouse_present = false;
    sim.idle_limit = 1u << 30;
    mouse_setup(800, 600);
    EXPECT_EQ(sim_written(0x60), (Bytes{0x47 & 0xDD, 0xFF}));
    EXPECT_EQ(mouse_x, 400);
    EXPECT_EQ(mouse_y, 300);
}

TEST(MouseSetup, ASilentControllerTimesOutAtEveryWait)
{
    sim_reset();
    sim.mode = Sim8042::Mode::silent;
    sim.idle_limit = 1u << 30;
    sim.input_busy = 1 << 30;  // never ready for a write either
    mouse_setup(640, 480);
    // Every wait gives up after 65,536 polls, and the set-up still ends.
    EXPECT_LE(sim.status_reads, 12u * 65536u);
    EXPECT_EQ(sim_written(0x64).size(), 4u);  // A8, 20, 60, D4: stops at the missing acknowledge
    EXPECT_EQ(mouse_x, 320);
}

TEST(Reboot, DrainsAWaitingByteThenPulsesTheResetLine)
{
    sim_reset();
    sim_keys({0x13});  // a key pressed just before
    sim.input_busy = 3;
    EXPECT_THROW(reboot(), SimReset);
    EXPECT_TRUE(sim.out.empty());
    EXPECT_EQ(sim.writes, (std::vector<PortWrite>{{0x64, 0xFE}}));
    EXPECT_GE(sim.status_reads, 4u);
}

TEST(Reboot, AControllerReadingAllOnesStillReachesTheForcedReset)
{
    sim_reset();
    sim.mode = Sim8042::Mode::stuck_ff;
    sim.idle_limit = 1u << 30;
    sim.reset_line_works = false;
    reboot();  // comes back only because the simulated processor survives
    EXPECT_EQ(sim.writes, (std::vector<PortWrite>{{0x64, 0xFE}}));
    EXPECT_EQ(sim.lidt_calls, 1);
    EXPECT_EQ(sim.int3_calls, 1);
}

TEST(Delay, ZeroAndNegativeCountsReturnAtOnce)
{
    sim_reset();
    sim.spin = true;
    auto t0 = std::chrono::steady_clock::now();
    pit_wait(0);
    pit_wait(-1);
    pit_wait(INT32_MIN);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
}

}  // namespace
