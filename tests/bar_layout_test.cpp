// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "bar_layout.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct layout_case {
    const char* name;
    std::int32_t width;
    double high;
    double low;
    double current;
    bar_layout expected;
};

const double nan = std::nan("");
const double inf = INFINITY;

const std::vector<layout_case> layout_cases = {
    {"usage-example", 120, 8.1, 4.735, 6.97, {80, 90, 76}},
    {"current-at-low", 10, 10, 0, 0, {1, 0, 255}},
    {"current-at-high", 10, 10, 0, 10, {11, 0, 255}},
    {"all-equal", 10, 5, 5, 5, {11, 0, 255}},
    {"current-nan", 10, 10, 0, nan, {INT32_MIN, 0, 0}},
    {"high-nan", 10, nan, 0, 5, {11, 0, 255}},
    {"range-overflows", 10, 1e308, -1e308, 0, {1, 0, 255}},
    {"range-and-offset-overflow", 10, 1e308, -1e308, 1e308, {INT32_MIN, 0, 0}},
    {"high-infinite", 10, inf, 0, 5, {1, 0, 255}},
    {"high-and-current-infinite", 10, inf, 0, inf, {INT32_MIN, 0, 0}},
    {"low-minus-infinite", 10, 0, -inf, 0, {INT32_MIN, 0, 0}},
    {"all-infinite", 10, inf, inf, inf, {11, 0, 255}},
    {"last-pixel-differs-in-red-only", 256, 256, 0, 255.99609375, {256, 128, 1}},
    {"negative-scale", 10, -1, -11, -3.5, {8, 64, 128}},
    {"whole-position", 10, 10, 0, 5, {6, 0, 255}},
    {"narrowest", 3, 1, 0, 0.5, {2, 64, 128}},
    {"thirds", 7, 3, 0, 1, {3, 43, 170}},
    // Wrong where results are kept wider than a double (the x87 of 32-bit
    // x86): the split, a green and a red one step off, and a quotient that is
    // rounded twice unless the significand is rounded to 53 bits at once.
    {"split-in-double", 105, 29.8, 9.5, 24, {76, 0, 255}},
    {"green-in-double", 175, 22.6, 9.8, 14.762, {68, 108, 41}},
    {"red-in-double", 180, 81, 29, 50.58, {75, 90, 76}},
    {"quotient-rounded-once", 16, 11.83063299371951, 0, 6.518979166705305, {9, 104, 47}},
    // Never produced by an accepted command line, but must stay defined.
    {"position-beyond-32-bits", 8192, 1, 0, 1e300, {INT32_MIN, 0, 0}},
    {"position-far-below-zero", 8192, 1, 0, -1e300, {INT32_MIN, 0, 0}},
};

// Names the row in test lists and failures.
void PrintTo(const layout_case& c, std::ostream* out) { *out << c.name; }

class compute_bar_layout_table : public testing::TestWithParam<layout_case> {};

TEST_P(compute_bar_layout_table, GivesColumnAndBlend) {
    const layout_case& c = GetParam();
    const bar_layout layout = compute_bar_layout(c.width, c.high, c.low, c.current);
    EXPECT_EQ(c.expected.split_column, layout.split_column);
    EXPECT_EQ(c.expected.blend_green, layout.blend_green);
    EXPECT_EQ(c.expected.blend_red, layout.blend_red);
}

INSTANTIATE_TEST_SUITE_P(Cases, compute_bar_layout_table, testing::ValuesIn(layout_cases));

// Properties over random valid values, with a fixed seed so that a failure
// repeats: a larger current never moves the boundary left, and the blend
// pixel lies between the fill colour (green 128, red 0) and the rest colour
// (green 0, red 255).
TEST(ComputeBarLayout, MovesRightWithCurrentAndBlendsBetweenTheColours) {
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<std::int32_t> widths(3, 8192);
    std::uniform_real_distribution<double> values(-1e6, 1e6);
    for (int trial = 0; trial < 2000; ++trial) {
        const std::int32_t width = widths(random);
        double low = values(random);
        double high = values(random);
        if (low > high) {
            std::swap(low, high);
        }
        std::uniform_real_distribution<double> currents(low, high);
        std::vector<double> sorted = {low, high};
        for (int i = 0; i < 30; ++i) {
            sorted.push_back(currents(random));
        }
        std::sort(sorted.begin(), sorted.end());

        // How far the fill reaches: the split column, then more green, then less red.
        std::tuple<std::int32_t, int, int> previous{0, 0, 0};
        for (const double current : sorted) {
            const bar_layout layout = compute_bar_layout(width, high, low, current);
            ASSERT_GE(layout.split_column, 1) << "width " << width << " current " << current;
            ASSERT_LE(layout.split_column, width + 1) << "width " << width << " current " << current;
            ASSERT_GE(layout.blend_green, 0);
            ASSERT_LE(layout.blend_green, 128);
            ASSERT_GE(layout.blend_red, 0);
            ASSERT_LE(layout.blend_red, 255);
            const std::tuple<std::int32_t, int, int> reach{layout.split_column, layout.blend_green, -layout.blend_red};
            ASSERT_LE(previous, reach) << "width " << width << " low " << low << " high " << high << " current "
                                       << current;
            previous = reach;
        }
    }
}

} // namespace
