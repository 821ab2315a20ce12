// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// Writes the image for a fuzzed width, height and layout to a temporary file
// and checks the length, the header and every pixel against the pixel rule.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bar_layout.h"
#include "tga_writer.h"

namespace {

const std::int32_t max_height = 16; // keeps each run short; rows are alike

void check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

template <typename T> T take(const std::uint8_t*& data, std::size_t& size) {
    T value{};
    const std::size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

std::vector<unsigned char> read_back(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::vector<unsigned char> all;
    unsigned char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        all.insert(all.end(), chunk, chunk + n);
    }
    return all;
}

void check_pixel(const unsigned char* pixel, std::int32_t column, const bar_layout& layout) {
    const std::int64_t split = layout.split_column;
    const int green = column < split ? 128 : column == split ? layout.blend_green & 0xFF : 0;
    const int red = column < split ? 0 : column == split ? layout.blend_red & 0xFF : 255;
    check(pixel[0] == 0 && pixel[1] == green && pixel[2] == red);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::int32_t width = 1 + static_cast<std::int32_t>(take<std::uint16_t>(data, size) % max_tga_width);
    const std::int32_t height = 1 + static_cast<std::int32_t>(take<std::uint8_t>(data, size) % max_height);
    bar_layout layout{};
    layout.split_column = take<std::int32_t>(data, size);
    layout.blend_green = take<std::uint8_t>(data, size);
    layout.blend_red = take<std::uint8_t>(data, size);

    std::FILE* file = std::tmpfile();
    check(file != nullptr);
    check(write_tga_header(file, width, height));
    check(write_bar_rows(file, width, height, layout));
    const std::vector<unsigned char> image = read_back(file);
    std::fclose(file);

    const std::size_t row_size = static_cast<std::size_t>(width) * 3;
    check(image.size() == 18 + row_size * static_cast<std::size_t>(height));
    const unsigned char header[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    check(std::memcmp(image.data(), header, sizeof header) == 0);
    check(image[12] == (width & 0xFF) && image[13] == (width >> 8));
    check(image[14] == (height & 0xFF) && image[15] == (height >> 8));
    check(image[16] == 24 && image[17] == 0x20);
    const unsigned char* first_row = image.data() + 18;
    for (std::int32_t column = 1; column <= width; ++column) {
        check_pixel(first_row + (column - 1) * 3, column, layout);
    }
    for (std::int32_t row = 1; row < height; ++row) {
        check(std::memcmp(first_row + static_cast<std::size_t>(row) * row_size, first_row, row_size) == 0);
    }
    return 0;
}
