// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The per-image work apart from the writes: the layout, and filling the
// widest row once. A regression here shows on its own, without disk noise.
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "bar_layout.h"
#include "tga_writer.h"

namespace {

void compute_layout(benchmark::State& state) {
    double current = 6.97;
    for (auto _ : state) {
        benchmark::DoNotOptimize(current);
        benchmark::DoNotOptimize(compute_bar_layout(120, 8.1, 4.735, current));
    }
}
BENCHMARK(compute_layout);

void fill_widest_row(benchmark::State& state) {
    const std::int32_t width = max_tga_width;
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * tga_pixel_size);
    const bar_layout layout = compute_bar_layout(width, 3, 0, 1);
    for (auto _ : state) {
        fill_bar_row(row.data(), width, layout);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(row.size()));
}
BENCHMARK(fill_widest_row);

} // namespace
