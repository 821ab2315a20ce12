// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>

// The Windows layer's conversions between the program's UTF-8 and the
// system's UTF-16. Each writes `text` with its end into `out`, which has room
// for `capacity` units, and returns the units written, the end included; 0
// when `text` is not valid (a lone surrogate, bytes that are no UTF-8) or
// does not fit.
std::size_t utf16_to_utf8(const wchar_t* text, char* out, std::size_t capacity);
std::size_t utf8_to_utf16(const char* text, wchar_t* out, std::size_t capacity);
