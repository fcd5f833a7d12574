// Benchmark cases for `make bench`. Each case prepares a framebuffer and the
// kernel state it needs (setup), then runs the operation measured (run).
// The runner counts run()'s instructions under callgrind and, separately,
// the video-memory bytes and pixels it writes.
#pragma once
#include <cstdint>

struct BenchCase {
    const char* name;
    uint32_t width, height, bpp;
    void (*setup)();  // may draw; runs with the framebuffer already mapped
    void (*run)();    // the measured operation; must not read video memory
    BenchCase* next;
};

void bench_register(BenchCase* c);

// BENCH_CASE(name, width, height, bpp, setup, run) registers one case.
#define BENCH_CASE(id, w, h, bpp, setup, run)                                  \
    static BenchCase bench_case_##id{#id, w, h, bpp, setup, run, nullptr};      \
    static const int bench_reg_##id = (bench_register(&bench_case_##id), 0)
