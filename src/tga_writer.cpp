// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "tga_writer.h"

#include <algorithm>
#include <cstring>

#include "platform.h"

namespace {

// The one row that every row of the image copies.
unsigned char bar_row[static_cast<std::size_t>(max_tga_width) * tga_pixel_size];

const unsigned char fill_green = 128;
const unsigned char rest_red = 255;

void put_le16(unsigned char* out, std::int32_t value) {
    out[0] = static_cast<unsigned char>(value & 0xFF);
    out[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void put_pixel(unsigned char* out, int green, int red) {
    out[0] = 0;
    out[1] = static_cast<unsigned char>(green);
    out[2] = static_cast<unsigned char>(red);
}

bool write_all(std::FILE* file, const unsigned char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

} // namespace

bool write_tga_header(std::FILE* file, std::int32_t width, std::int32_t height) {
    unsigned char header[tga_header_size];
    header[0] = 0;                 // 0: no image identification field
    header[1] = 0;                 // 1: no colour map
    header[2] = 2;                 // 2: uncompressed true-colour
    std::memset(header + 3, 0, 5); // 3: colour map first entry, length, entry size
    put_le16(header + 8, 0);       // 8: x origin
    put_le16(header + 10, 0);      // 10: y origin
    put_le16(header + 12, width);  // 12: width in pixels
    put_le16(header + 14, height); // 14: height in pixels
    header[16] = 24;               // 16: bits per pixel
    header[17] = 0x20;             // 17: first row is the top row, no alpha
    return write_all(file, header, sizeof header);
}

void fill_bar_row(unsigned char* row, std::int32_t width, const bar_layout& layout) {
    // Columns are 1-based: 1 .. split - 1 fill, split blend, split + 1 .. width rest.
    const std::int64_t split = layout.split_column;
    const std::int64_t fill_end = std::clamp<std::int64_t>(split - 1, 0, width);
    const std::int64_t rest_begin = std::clamp<std::int64_t>(split, 0, width);
    std::int64_t column = 0;
    for (; column < fill_end; ++column) {
        put_pixel(row + column * tga_pixel_size, fill_green, 0);
    }
    if (column < rest_begin) {
        put_pixel(row + column * tga_pixel_size, layout.blend_green, layout.blend_red);
        ++column;
    }
    for (; column < width; ++column) {
        put_pixel(row + column * tga_pixel_size, 0, rest_red);
    }
}

bool write_bar_rows(std::FILE* file, std::int32_t width, std::int32_t height, const bar_layout& layout) {
    if (width < 1 || width > max_tga_width || height < 0) {
        return false;
    }
    // Pixels are blue, green, red; rows run top to bottom and are all alike,
    // so the system is handed copies of one row.
    fill_bar_row(bar_row, width, layout);
    const std::size_t row_size = static_cast<std::size_t>(width) * tga_pixel_size;
    return write_copies(file, bar_row, row_size, static_cast<std::size_t>(height));
}
