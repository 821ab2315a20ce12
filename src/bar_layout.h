// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

// Where the bar changes colour and the colour of the one pixel in between.
// Columns before `split_column` (1-based) get the fill colour, columns after
// it the rest colour, and the column itself green `blend_green` (0..128) and
// red `blend_red` (0..255). For low <= current <= high, `split_column` lies in
// 1..width + 1; width + 1 means the whole row is the fill colour.
struct bar_layout {
    std::int32_t split_column;
    int blend_green;
    int blend_red;
};

// The smallest 32-bit integer as `split_column` stands for a ratio that is not
// a number (or a position beyond the 32-bit range): every column then lies
// after the split and the whole row is the rest colour; both blends are 0.
bar_layout compute_bar_layout(std::int32_t width, double high, double low, double current);
