// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The speed of light for the tool: writes the same number of bytes to a new
// file from one buffer prepared in advance, in 1 MiB write calls, and nothing
// else. It uses the C library only, so that its start costs what the tool's
// does. Usage: write_limit <file> <bytes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const std::size_t block_size = std::size_t{1} << 20;
unsigned char block[block_size];

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_limit <file> <bytes>\n");
        return 2;
    }
    unsigned long long left = std::strtoull(argv[2], nullptr, 10);
    std::memset(block, 0x80, left < block_size ? static_cast<std::size_t>(left) : block_size);

    const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    while (left > 0) {
        const std::size_t size = left < block_size ? static_cast<std::size_t>(left) : block_size;
        const ssize_t written = write(fd, block, size);
        if (written <= 0) {
            std::perror("write");
            return 1;
        }
        left -= static_cast<unsigned long long>(written);
    }
    return close(fd) == 0 ? 0 : 1;
}
