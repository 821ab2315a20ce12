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

} // namespace

bar_layout compute_bar_layout(std::int32_t width, double high, double low, double current) {
    // A high that is not greater than low (equal, or NaN) fills the whole bar.
    double ratio = 1.0;
    if (high > low) {
        ratio = (current - low) / (high - low);
    }
    const double position = static_cast<double>(width) * ratio;
    const double whole = std::floor(position);
    const double fraction = position - whole;

    const std::int32_t split_column = truncate_to_int32(whole + 1.0);
    if (split_column == no_column) {
        return bar_layout{no_column, 0, 0};
    }
    // Each blend follows its own colour's scale, rounded half up.
    const int blend_green = truncate_to_int32(std::floor(fraction * 128.0 + 0.5));
    const int blend_red = truncate_to_int32(std::floor((1.0 - fraction) * 255.0 + 0.5));
    return bar_layout{split_column, blend_green, blend_red};
}
