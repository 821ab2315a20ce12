#include "platform.h"

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

// POSIX consoles speak UTF-8.
const char console_o_acute[] = "\xC3\xB3";

void prepare_process() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

bool path_exists(const char* path) {
    struct stat status {};
    return lstat(path, &status) == 0;
}

void delete_file(const char* path) {
    struct stat status {};
    if (lstat(path, &status) != 0) {
        return;
    }
    // Mode bits, not access(): root may write anywhere, but a file without any
    // write bit is read-only and is kept, as elsewhere.
    const bool writable_file = S_ISREG(status.st_mode) && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    if (writable_file || S_ISLNK(status.st_mode)) {
        unlink(path);
    }
}

std::FILE* create_new_file(const char* path) {
    // "x": O_CREAT | O_EXCL, which also refuses a symbolic link at the path.
    std::FILE* file = std::fopen(path, "wbx");
    if (file != nullptr) {
        std::setvbuf(file, nullptr, _IONBF, 0);
    }
    return file;
}
