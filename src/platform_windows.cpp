#include "platform.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// Copies of the row are gathered here and written in blocks of this size.
const std::size_t block_size = std::size_t{1} << 20;
unsigned char block[block_size];

} // namespace

// The console's OEM code page (437 or 850).
const char console_o_acute[] = "\xA2";

void prepare_process() {}

bool path_exists(const char* path) { return _access(path, 0) == 0; }

void delete_file(const char* path) {
    // The kernel refuses directories and read-only files by itself.
    DeleteFileA(path);
}

std::FILE* create_new_file(const char* path) {
    // Exclusive, so nothing that appeared after the delete is overwritten.
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        _close(fd);
        return nullptr;
    }
    // Unbuffered: the row writer hands it 1 MiB blocks, which a stream buffer
    // would only copy once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

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
        const std::size_t copies = std::min(count, copies_per_block);
        if (std::fwrite(block, size, copies, file) != copies) {
            return false;
        }
        count -= copies;
    }
    return true;
}
