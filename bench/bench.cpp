// The benchmark driver. `bench --list` names the cases; `bench NAME` runs
// one case's setup and then its measured operation inside bench_target, the
// one function callgrind collects; `bench --bytes NAME` reports the bytes
// and pixels of video memory the operation writes.
#include "bench.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "../teaser/draw.h"
#include "../tests/host/support/fbmem.h"
#include "../tests/host/support/sim8042.h"

static BenchCase* cases;

void bench_register(BenchCase* c)
{
    c->next = cases;
    cases = c;
}

static BenchCase* find(const char* name)
{
    for (BenchCase* c = cases; c; c = c->next)
        if (std::strcmp(c->name, name) == 0) return c;
    return nullptr;
}

extern "C" __attribute__((noinline)) void bench_target(void (*run)())
{
    run();
    asm volatile("" ::: "memory");
}

static TestFb prepare(const BenchCase& c)
{
    sim_reset();
    sim.idle_limit = 1u << 30;
    TestFb fb(c.width, c.height, c.bpp);
    fb.clear(0);
    if (c.setup) c.setup();
    return fb;
}

// An operation that never reads video memory writes the same values from
// any starting picture, so a byte it writes differs from one of two fills.
static void count_bytes(const BenchCase& c)
{
    size_t row = size_t(c.width) * (c.bpp / 8);
    std::vector<uint8_t> changed(size_t(c.height) * row, 0);
    for (uint8_t canary : {uint8_t(0x5A), uint8_t(0xA5)}) {
        TestFb fb = prepare(c);
        fb.clear(canary);
        c.run();
        for (uint32_t y = 0; y < c.height; ++y)
            for (size_t i = 0; i < row; ++i)
                if (fb.base[y * size_t(fb.pitch) + i] != canary) changed[y * row + i] = 1;
    }
    uint64_t bytes = 0, pixels = 0;
    uint32_t bpp = c.bpp / 8;
    for (size_t i = 0; i < changed.size(); i += bpp) {
        uint32_t n = 0;
        for (uint32_t b = 0; b < bpp; ++b) n += changed[i + b];
        bytes += n;
        pixels += n != 0;
    }
    std::printf("%llu %llu\n", (unsigned long long)bytes, (unsigned long long)pixels);
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (BenchCase* c = cases; c; c = c->next)
            std::printf("%s %ux%ux%u\n", c->name, c->width, c->height, c->bpp);
        return 0;
    }
    bool bytes = argc == 3 && std::strcmp(argv[1], "--bytes") == 0;
    BenchCase* c = find(argv[argc - 1]);
    if (argc < 2 || !c) {
        std::fprintf(stderr, "usage: bench --list | NAME | --bytes NAME\n");
        return 2;
    }
    if (bytes) {
        count_bytes(*c);
        return 0;
    }
    prepare(*c);
    bench_target(c->run);
    return 0;
}
