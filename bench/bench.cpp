// The benchmark driver. `bench --list` names the cases; `bench NAME` runs
// one case's setup and then its measured operation inside bench_target, the
// one function callgrind collects; `bench --bytes NAME` reports the bytes
// and pixels of video memory the operation writes. `bench --exposure NAME`,
// in the build whose drawing reports every store (bench-replay), reports the
// most pixels that, at one moment of the operation, show neither the
// picture before it nor the one after.
#include "bench.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "../teaser/draw.h"
#include "../tests/host/support/fbmem.h"
#include "../tests/host/support/oracle.h"
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

// The input as at boot on the case's screen (the pointer in its middle),
// then the case's own state.
static TestFb prepare(const BenchCase& c)
{
    input_reset(c.width, c.height);
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

// Every store the operation makes, in order, with the number of pauses
// made before it: a pause holds the picture still on the screen, so each
// stretch between pauses goes from one picture to the next.
struct Store {
    uint32_t offset;
    uint32_t bytes;
    uint8_t value[4];
    size_t pauses;
};
static std::vector<Store> stores;
static const uint8_t* recorded_base;
static bool recording;

extern "C" void draw_store_hook(const uint8_t* p, uint32_t bytes)
{
    if (!recording) return;
    Store s{uint32_t(p - recorded_base), bytes, {}, sim.pauses.size()};
    std::memcpy(s.value, p, bytes);
    stores.push_back(s);
}

// Replays the stores from the picture before them. Within each stretch a
// pixel is exposed while it differs from both the stretch's first picture
// and its last; the count is taken after every store.
static void exposure(const BenchCase& c)
{
    TestFb fb = prepare(c);
    const size_t span = size_t(fb.pitch) * fb.height;
    std::vector<uint8_t> screen(fb.base, fb.base + span);
    recorded_base = fb.base;
    recording = true;
    c.run();
    recording = false;

    const uint32_t bpp = fb.bytes_pp();
    uint64_t worst = 0;
    for (size_t first = 0; first < stores.size();) {
        size_t last = first;
        while (last < stores.size() && stores[last].pauses == stores[first].pauses) ++last;
        const std::vector<uint8_t> before = screen;
        std::vector<uint8_t> after = screen;
        for (size_t i = first; i < last; ++i) std::memcpy(&after[stores[i].offset], stores[i].value, stores[i].bytes);
        std::vector<uint8_t> exposed(span / bpp + 1, 0);
        uint64_t now = 0;
        for (size_t i = first; i < last; ++i) {
            const Store& s = stores[i];
            std::memcpy(&screen[s.offset], s.value, s.bytes);
            // The pixels the store's bytes fall in.
            for (uint32_t off = s.offset; off < s.offset + s.bytes; ++off) {
                const uint32_t row = off / fb.pitch, col = (off % fb.pitch) / bpp;
                const size_t at = size_t(row) * fb.pitch + size_t(col) * bpp;
                if (off != s.offset && (off % fb.pitch) % bpp) continue;  // same pixel as before
                const bool out = std::memcmp(&screen[at], &before[at], bpp) && std::memcmp(&screen[at], &after[at], bpp);
                uint8_t& e = exposed[at / bpp];
                if (out != bool(e)) {
                    now += out ? 1 : -1;
                    e = out;
                }
            }
            if (now > worst) worst = now;
        }
        first = last;
    }
    std::printf("%llu\n", (unsigned long long)worst);
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (BenchCase* c = cases; c; c = c->next)
            std::printf("%s %ux%ux%u\n", c->name, c->width, c->height, c->bpp);
        return 0;
    }
    bool bytes = argc == 3 && std::strcmp(argv[1], "--bytes") == 0;
    bool exposed = argc == 3 && std::strcmp(argv[1], "--exposure") == 0;
    BenchCase* c = find(argv[argc - 1]);
    if (argc < 2 || !c) {
        std::fprintf(stderr, "usage: bench --list | NAME | --bytes NAME | --exposure NAME\n");
        return 2;
    }
    if (bytes) {
        count_bytes(*c);
        return 0;
    }
    if (exposed) {
        exposure(*c);
        return 0;
    }
    prepare(*c);
    bench_target(c->run);
    return 0;
}
