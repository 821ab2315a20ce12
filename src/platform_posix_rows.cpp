// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The row writer.

#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include <sys/uio.h>
#include <unistd.h>

namespace {

// About this much per call, so that the file system's cost per call does not
// show, in at most the system's limit of pieces per gathered write.
const std::size_t bytes_per_call = std::size_t{1} << 20;
constexpr std::size_t max_pieces = IOV_MAX;

} // namespace

bool write_copies(std::FILE* file, const unsigned char* data, std::size_t size, std::size_t count) {
    if (size == 0 || count == 0) {
        return true;
    }
    // Whatever the stream holds must reach the file before the copies do.
    if (std::fflush(file) != 0) {
        return false;
    }
    const int fd = fileno(file);
    iovec pieces[max_pieces];
    const std::size_t pieces_per_call = std::clamp<std::size_t>(bytes_per_call / size, 1, max_pieces);
    std::fill(pieces, pieces + pieces_per_call, iovec{const_cast<unsigned char*>(data), size});

    std::size_t done_in_copy = 0; // bytes of a partly written copy
    while (count > 0) {
        ssize_t written = 0;
        if (done_in_copy > 0) {
            written = write(fd, data + done_in_copy, size - done_in_copy);
        } else {
            written = writev(fd, pieces, static_cast<int>(std::min(count, pieces_per_call)));
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        const std::size_t total = done_in_copy + static_cast<std::size_t>(written);
        count -= total / size;
        done_in_copy = total % size;
    }
    return true;
}
