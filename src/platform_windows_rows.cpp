// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The row writer.

#include "platform.h"
#include "platform_windows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Copies of the row are gathered here and written in blocks of this size.
const std::size_t block_size = std::size_t{1} << 20;
unsigned char block[block_size];

} // namespace

bool write_copies(std::FILE* file, const unsigned char* data, std::size_t size, std::size_t count) {
    if (size == 0 || count == 0) {
        return true;
    }
    if (size > block_size) {
        return false;
    }
    const std::size_t copies_per_block = std::min(block_size / size, count);
    for (std::size_t copy = 0; copy < copies_per_block; ++copy) {
        std::memcpy(block + copy * size, data, size);
    }
    while (count > 0) {
        if (interrupt_pending()) {
            return false;
        }
        const std::size_t copies = std::min(count, copies_per_block);
        if (std::fwrite(block, size, copies, file) != copies) {
            return false;
        }
        count -= copies;
    }
    return true;
}
