// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// Feeds arbitrary bytes, split at zero bytes into up to eight arguments,
// through the command-line check and, for an accepted command line, the
// layout, and checks what each promises.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bar_args.h"
#include "bar_layout.h"

namespace {

const std::size_t max_arguments = 8;

void check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

void check_layout(const bar_args& args) {
    const bar_layout layout = compute_bar_layout(args.width, args.high, args.low, args.current);
    if (layout.split_column == INT32_MIN) {
        // No split column: the ratio was not a number.
        check(layout.blend_green == 0 && layout.blend_red == 0);
        return;
    }
    check(layout.split_column >= 1 && layout.split_column <= args.width + 1);
    check(layout.blend_green >= 0 && layout.blend_green <= 128);
    check(layout.blend_red >= 0 && layout.blend_red <= 255);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1, "tavimo");
    const char* text = reinterpret_cast<const char*>(data);
    const char* end = text + size;
    while (text < end && arguments.size() <= max_arguments) {
        const char* stop = static_cast<const char*>(std::memchr(text, '\0', static_cast<std::size_t>(end - text)));
        stop = stop != nullptr ? stop : end;
        arguments.emplace_back(text, stop);
        text = stop + 1;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    bar_args args{};
    if (!read_bar_args(static_cast<int>(arguments.size()), argv.data(), args)) {
        return 0;
    }
    check(arguments.size() == 7);
    check(args.width >= 3 && args.width <= 8192);
    check(args.height >= 1 && args.height <= 8192);
    check(std::strlen(args.target_path) < 260);
    const bool any_nan = std::isnan(args.high) || std::isnan(args.low) || std::isnan(args.current);
    check(any_nan || (args.low <= args.current && args.current <= args.high));
    check_layout(args);
    return 0;
}
