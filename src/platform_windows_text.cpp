// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The command line, the conversions between UTF-8 and UTF-16, and what the
// program prints.

#include "platform.h"
#include "platform_windows.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <iterator>

#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The C runtime's own parser of the command line, the one that gave main its
// arguments, in its UTF-16 form, and the runtime's own choice on wildcards.
extern "C" int _dowildcard;
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand_wildcards, int* new_mode);

namespace {

// The longest command line Windows passes on, in UTF-16 units. A unit takes
// at most three bytes of UTF-8 and every argument one more for its end; every
// argument but the last takes at least two units of the line (a character or
// two quotes, and a space).
const std::size_t max_command_line = 32767;
const std::size_t max_arguments = max_command_line / 2 + 1;
char argument_text[4 * max_command_line];
char* argument_list[max_arguments + 1];
// Stands in for the program's own name, which may be no text at all.
char program_name[] = "tavimo";

// The longest path the system takes, and its end.
wchar_t wide_path[32768];

// A message is a line or two of ASCII and at most one path of 259 UTF-16
// units, at most three bytes each in UTF-8. Each step may double its length
// at most: a carriage return before a line feed, two bytes of a double-byte
// code page for one unit.
const std::size_t message_capacity = 2048;
char message_text[message_capacity];
wchar_t message_wide[message_capacity];
wchar_t console_text[2 * message_capacity];
char redirected_text[2 * message_capacity];

// The OEM code page in which the program's own texts have always gone to a
// file or pipe; its ASCII and its "ó" (0xA2) are those of 437 too.
const UINT fixed_text_code_page = 850;

int capacity_of(std::size_t capacity) { return static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)); }

// Where the console is not: `text` in `code_page`, in which a character it
// lacks becomes '?', never a look-alike. `wide` is the same text in UTF-16.
// The text goes out at once, as on a console: the output of a run that is
// ended early, even from outside, then holds all it printed.
void print_redirected(const char* text, const wchar_t* wide, UINT code_page) {
    if (code_page == CP_UTF8) {
        std::fputs(text, stdout);
    } else if (WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide, -1, redirected_text,
                                   capacity_of(sizeof redirected_text), "?", nullptr) > 0) {
        std::fputs(redirected_text, stdout);
    }
    std::fflush(stdout);
}

// Prints the UTF-8 `text` to standard output: on a console as it is, whatever
// the console's code page; elsewhere in `code_page`.
void print_utf8(const char* text, UINT code_page) {
    if (utf8_to_utf16(text, message_wide, std::size(message_wide)) == 0) {
        return;
    }
    const HANDLE out = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) == 0) {
        print_redirected(text, message_wide, code_page);
        return;
    }
    // Line ends as the text stream writes them.
    std::size_t length = 0;
    for (const wchar_t* unit = message_wide; *unit != L'\0'; ++unit) {
        if (*unit == L'\n') {
            console_text[length++] = L'\r';
        }
        console_text[length++] = *unit;
    }
    DWORD written = 0;
    WriteConsoleW(out, console_text, static_cast<DWORD>(length), &written, nullptr);
}

} // namespace

std::size_t utf16_to_utf8(const wchar_t* text, char* out, std::size_t capacity) {
    // A capacity of 0 would ask for the length instead.
    if (capacity == 0) {
        return 0;
    }
    const int written =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out, capacity_of(capacity), nullptr, nullptr);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::size_t utf8_to_utf16(const char* text, wchar_t* out, std::size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, capacity_of(capacity));
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

const wchar_t* system_path(const char* path) {
    return utf8_to_utf16(path, wide_path, std::size(wide_path)) > 0 ? wide_path : nullptr;
}

bool utf8_arguments(int count, const wchar_t* const* wide, int& argc, char**& argv) {
    if (count < 0 || static_cast<std::size_t>(count) > max_arguments) {
        return false;
    }
    if (count > 0) {
        argument_list[0] = program_name;
    }
    std::size_t used = 0;
    for (int i = 1; i < count; ++i) {
        const std::size_t written = utf16_to_utf8(wide[i], argument_text + used, sizeof argument_text - used);
        if (written == 0) {
            return false;
        }
        argument_list[i] = argument_text + used;
        used += written;
    }
    argument_list[count] = nullptr;
    argc = count;
    argv = argument_list;
    return true;
}

bool use_utf8_arguments(int& argc, char**& argv) {
    int count = 0;
    wchar_t** wide = nullptr;
    wchar_t** environment = nullptr;
    int new_mode = 0;
    if (__wgetmainargs(&count, &wide, &environment, _dowildcard, &new_mode) < 0 || wide == nullptr) {
        return false;
    }
    return utf8_arguments(count, wide, argc, argv);
}

std::size_t path_length(const char* path) {
    const std::size_t units = utf8_to_utf16(path, wide_path, std::size(wide_path));
    return units > 0 ? units - 1 : SIZE_MAX;
}

void print_message(const char* format, const char* text, unsigned first, unsigned second) {
    std::snprintf(message_text, sizeof message_text, format, text, first, second);
    print_utf8(message_text, GetACP());
}

void print_text(const char* text) { print_utf8(text, fixed_text_code_page); }
