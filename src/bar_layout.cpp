// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "bar_layout.h"

#include <cmath>

namespace {

const std::int32_t no_column = INT32_MIN;

// Truncation towards zero, defined for every double: NaN and values outside
// the 32-bit range give the smallest 32-bit integer, as the processor's own
// conversion does, instead of undefined behaviour.
std::int32_t truncate_to_int32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) {
        return no_column;
    }
    return static_cast<std::int32_t>(value);
}

// Every result goes through memory as a double before it is used, so that it
// is rounded to double's range on every processor. Without this, 32-bit x86
// keeps results in wider registers: 1e308 - -1e308 would stay finite there
// and blends would come out a step off. Rounding the significand to 53 bits
// in the first place is the build's part on that processor (-mpc64).
double stored(double value) {
    volatile double memory = value;
    return memory;
}

double add(double a, double b) { return stored(a + b); }
double subtract(double a, double b) { return stored(a - b); }
double multiply(double a, double b) { return stored(a * b); }
double divide(double a, double b) { return stored(a / b); }

} // namespace

bar_layout compute_bar_layout(std::int32_t width, double high, double low, double current) {
    // A high that is not greater than low (equal, or NaN) fills the whole bar.
    double ratio = 1.0;
    if (high > low) {
        ratio = divide(subtract(current, low), subtract(high, low));
    }
    const double position = multiply(static_cast<double>(width), ratio);
    const double whole = std::floor(position);
    const double fraction = subtract(position, whole);

    const std::int32_t split_column = truncate_to_int32(add(whole, 1.0));
    if (split_column == no_column) {
        return bar_layout{no_column, 0, 0};
    }
    // Each blend follows its own colour's scale, rounded half up.
    const int blend_green = truncate_to_int32(std::floor(add(multiply(fraction, 128.0), 0.5)));
    const int blend_red = truncate_to_int32(std::floor(add(multiply(subtract(1.0, fraction), 255.0), 0.5)));
    return bar_layout{split_column, blend_green, blend_red};
}
