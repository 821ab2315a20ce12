// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

// The six values of an accepted command line, in command-line order.
struct bar_args {
    const char* target_path; // the argument itself, UTF-8, at most 259 of the system's path units
    std::int32_t width;      // 3 to 8192
    std::int32_t height;     // 1 to 8192
    double high;             // low <= current <= high, unless a value is NaN
    double low;
    double current;
};

// Checks the whole command line (argc must be 7) and fills `args` when it is
// usable. Every check runs even after one has failed; the strings of
// arguments 4 to 6 have their commas turned into points in place.
bool read_bar_args(int argc, char* argv[], bar_args& args);

// Turns every ',' in `text` into '.', in place.
void normalize_decimal_commas(char* text);

// Reads a whole number as atoi does (leading white space, optional sign,
// digits up to the first other character, 0 when there are none), but
// saturates at the signed 32-bit limits instead of wrapping.
std::int32_t read_whole_number(const char* text);

// Reads a decimal number as atof does, in the classic locale.
double read_decimal(const char* text);

// Prints the usage text to standard output.
void print_usage();
