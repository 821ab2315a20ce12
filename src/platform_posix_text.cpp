// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The command line, the length of a path, and what the program prints. The
// arguments and paths are the bytes of the names already.

#include "platform.h"

#include <cstdio>
#include <cstring>

bool use_utf8_arguments(int& /*argc*/, char**& /*argv*/) { return true; }

std::size_t path_length(const char* path) { return std::strlen(path); }

// Each text goes out at once, whatever standard output is: the output of a run
// that is ended early, by any signal, then holds all it printed. A write that
// fails changes nothing for the image.
void print_message(const char* format, const char* text, unsigned first, unsigned second) {
    std::printf(format, text, first, second);
    std::fflush(stdout);
}

void print_text(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}
