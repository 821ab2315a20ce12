// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>

// What the files of the Windows layer share; the rest of the program sees
// only platform.h.

// The conversions between the program's UTF-8 and the system's UTF-16. Each
// writes `text` with its end into `out`, which has room for `capacity` units,
// and returns the units written, the end included; 0 when `text` is not valid
// (a lone surrogate, bytes that are no UTF-8) or does not fit.
std::size_t utf16_to_utf8(const wchar_t* text, char* out, std::size_t capacity);
std::size_t utf8_to_utf16(const char* text, wchar_t* out, std::size_t capacity);

// `path` in the system's own form, in storage that the next call reuses; null
// when it has none, so that no file of another name is ever touched.
const wchar_t* system_path(const char* path);

// Makes `argv` the UTF-8 form of the `count` arguments in `wide`, in fixed
// storage. The program's own name, which the program never uses, is neither
// converted nor checked. False when another argument is no text or they do
// not fit.
bool utf8_arguments(int count, const wchar_t* const* wide, int& argc, char**& argv);

// Whether an interrupt has asked the writing of the guarded file to stop.
bool interrupt_pending();
