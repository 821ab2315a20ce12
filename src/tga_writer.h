// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bar_layout.h"

const std::int32_t max_tga_width = 8192;
const std::size_t tga_header_size = 18;
const std::size_t tga_pixel_size = 3; // blue, green, red

// Writes the 18-byte header of an uncompressed 24-bit TGA image whose first
// row is the top row. Width and height must be 0..65535. False when the
// write fails.
bool write_tga_header(std::FILE* file, std::int32_t width, std::int32_t height);

// Fills `row` with `width` pixels of the bar, 3 bytes each.
void fill_bar_row(unsigned char* row, std::int32_t width, const bar_layout& layout);

// Writes `height` identical rows of `width` (1..max_tga_width) pixels. Stops at
// the first failed write and returns false; also false for a width out of range.
bool write_bar_rows(std::FILE* file, std::int32_t width, std::int32_t height, const bar_layout& layout);
