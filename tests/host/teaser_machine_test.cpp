// Talking to the controller: the mouse set-up's order and time-outs, the
// reset sequence, and the delay's bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ucontext.h>
#include <utility>
#include <vector>

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
    std::vector<uint64_t> reads;  // status reads before each port write, and after the last
    sim.on_poll = [&] {
        reads.resize(sim.writes.size() + 1);
        ++reads.back();
    };
    mouse_setup(640, 480);
    sim.on_poll = nullptr;
    // Every wait gives up after exactly 65,536 reads, and the set-up still
    // ends: one wait before each write, two (the configuration byte read,
    // then a write) before 0x60, and one for the acknowledge that never comes.
    EXPECT_EQ(reads, (std::vector<uint64_t>{65536, 65536, 2 * 65536, 65536, 65536, 65536, 65536}));
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

// Instructions counted one by one: with the trap flag set the processor
// stops after each, and the handler tallies them by address. The handler
// runs with the flag clear and allocates nothing.
namespace stepping {

constexpr size_t SLOTS = 4096;
uintptr_t address[SLOTS];
uint64_t count[SLOTS];
volatile sig_atomic_t on;

void trap(int, siginfo_t*, void* context)
{
    auto& regs = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
#ifdef __x86_64__
    const uintptr_t ip = uintptr_t(regs[REG_RIP]);
#else
    const uintptr_t ip = uintptr_t(regs[REG_EIP]);
#endif
    if (!on) {
        regs[REG_EFL] &= ~greg_t{0x100};  // stepping ends here
        return;
    }
    for (size_t i = ip % SLOTS;; i = (i + 1) % SLOTS)
        if (address[i] == ip || address[i] == 0) {
            address[i] = ip;
            ++count[i];
            return;
        }
}

// Sets the trap flag (below the red zone, which the push must not touch).
__attribute__((noinline)) void start()
{
#ifdef __x86_64__
    asm volatile("sub $128, %%rsp; pushfq; orq $0x100, (%%rsp); popfq; add $128, %%rsp" ::: "memory", "cc");
#else
    asm volatile("pushfl; orl $0x100, (%%esp); popfl" ::: "memory", "cc");
#endif
}

// How often each instruction of `work` ran, for those that ran at least `hot` times.
std::vector<uint64_t> hot_counts(void (*work)(), uint64_t hot)
{
    std::fill(std::begin(address), std::end(address), 0);
    std::fill(std::begin(count), std::end(count), 0);
    struct sigaction sa = {}, old = {};
    sa.sa_sigaction = trap;
    sa.sa_flags = SA_SIGINFO;
    sigaction(SIGTRAP, &sa, &old);
    on = 1;
    start();
    work();
    on = 0;
    sigaction(SIGTRAP, &old, nullptr);
    std::vector<uint64_t> out;
    for (uint64_t c : count)
        if (c >= hot) out.push_back(c);
    return out;
}

}  // namespace stepping

// One delay unit is exactly 8000 increments: in n units, the loop's body
// instructions run 8000 n times each, and its test at most once a unit more.
TEST(Delay, AUnitIsEightThousandIncrements)
{
    sim_reset();
    sim.spin = true;
    for (auto [work, n] : {std::pair{+[] { pit_wait(1); }, 1u}, {+[] { pit_wait(2); }, 2u}}) {
        const std::vector<uint64_t> hot = stepping::hot_counts(work, 1000 * n);
        ASSERT_FALSE(hot.empty()) << "no single steps seen";
        EXPECT_EQ(*std::min_element(hot.begin(), hot.end()), 8000 * n);
        EXPECT_LE(*std::max_element(hot.begin(), hot.end()), 8001 * n);
    }
    EXPECT_EQ(sim.pauses, (std::vector<int32_t>{1, 2}));
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
