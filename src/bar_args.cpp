// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "bar_args.h"

#include <cstdlib>

#include "platform.h"

namespace {

const std::size_t max_path_length = 259;
const std::int32_t min_width = 3;
const std::int32_t min_height = 1;
const std::int32_t max_size = 8192;

const char usage_line_1[] = "\nTavimo maakt een zeer eenvoudige TGA-afbeelding van een huidige waarde ten\n";
const char usage_line_2[] = "opzichte van een hoogste en laagste waarde.\n\nGebruik:\n\n";
const char usage_line_3[] =
    "   Tavimo.EXE <doelbestand> <breedte> <hoogte> <hoog> <laag> <huidige>\n\nBijvoorbeeld:\n\n";
const char usage_line_4[] = "   TAVIMO.EXE \"C:\\Grafiek aandeel.TGA\" 120 16 8,1 4,735 6.97\n\n";
const char usage_line_5[] = "Een eventueel al bestaand doelbestand wordt overschreven. De minimale breedte\n";
const char usage_line_6[] = "is 3. De minimale hoogte is 1. De afgeraden maximale grootte is telkens 8192.\n";
// The "o" with acute accent is the one character outside ASCII.
const char usage_line_7[] = "Een komma \xC3\xB3"
                            "f een punt is een geldig decimaal scheidingsteken in alle waardes.\n";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool in_range(std::int32_t value, std::int32_t lowest, std::int32_t highest) {
    return value >= lowest && value <= highest;
}

} // namespace

std::int32_t read_whole_number(const char* text) {
    while (is_space(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    // Accumulate the magnitude, stopping at the first value past the 32-bit
    // range so that no digit string can wrap back into it.
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude >= limit) {
            magnitude = limit;
            break;
        }
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

double read_decimal(const char* text) { return std::strtod(text, nullptr); }

void normalize_decimal_commas(char* text) {
    for (; *text != '\0'; ++text) {
        if (*text == ',') {
            *text = '.';
        }
    }
}

bool read_bar_args(int argc, char* argv[], bar_args& args) {
    if (argc != 7) {
        return false;
    }
    bool usable = true;

    args.target_path = argv[1];
    usable = path_length(args.target_path) <= max_path_length && usable;

    args.width = read_whole_number(argv[2]);
    usable = in_range(args.width, min_width, max_size) && usable;

    args.height = read_whole_number(argv[3]);
    usable = in_range(args.height, min_height, max_size) && usable;

    normalize_decimal_commas(argv[4]);
    normalize_decimal_commas(argv[5]);
    normalize_decimal_commas(argv[6]);
    args.high = read_decimal(argv[4]);
    args.low = read_decimal(argv[5]);
    args.current = read_decimal(argv[6]);

    // Strict comparisons: equal values pass, and so does NaN.
    if (args.low > args.high || args.current > args.high || args.low > args.current) {
        usable = false;
    }
    return usable;
}

void print_usage() {
    print_text(usage_line_1);
    print_text(usage_line_2);
    print_text(usage_line_3);
    print_text(usage_line_4);
    print_text(usage_line_5);
    print_text(usage_line_6);
    print_text(usage_line_7);
}
