// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The guarded file: the target's existence and deletion, the creation of the
// image, and the signal handling by which an interrupt leaves no partial one.

#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every signal that a user, another process, a limit or the system sends to
// end a program, and whose default action would end this one mid-image.
// Signals of the program's own faults (SIGSEGV, SIGABRT and the like) are not
// among them. Neither are the real-time ones: their meaning is for the
// program that uses them to define, nothing sends them to end a program, and
// their range differs from one C library to the next.
const int interrupts[] = {
    SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGIO
    SIGIO, // SIGPOLL where both exist
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

// The file being written. `spare_fd` is a second descriptor of it that
// outlives the stream, so that the file can be emptied even after a failed
// close. Filled in before `guarding` is set, with the interrupts blocked.
struct guarded_file {
    const char* path;
    dev_t device;
    ino_t inode;
    int spare_fd;
    std::FILE* stream; // null once a close has been tried
};
guarded_file guarded{};
volatile std::sig_atomic_t guarding = 0;

sigset_t interrupt_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : interrupts) {
        sigaddset(&set, signal_number);
    }
    return set;
}

// Interrupts that arrive while they are blocked wait until they are restored.
sigset_t block_interrupts() {
    const sigset_t set = interrupt_set();
    sigset_t saved;
    sigprocmask(SIG_BLOCK, &set, &saved);
    return saved;
}

void restore_interrupts(const sigset_t& saved) { sigprocmask(SIG_SETMASK, &saved, nullptr); }

// Async-signal-safe.
bool path_names_guarded_file() {
    struct stat status {};
    return lstat(guarded.path, &status) == 0 && status.st_dev == guarded.device && status.st_ino == guarded.inode;
}

// Async-signal-safe. Emptied first: if only the removal fails, an empty file
// stays, not a partial image. Removed only while the path still names this
// file.
void remove_guarded_file() {
    guarding = 0;
    // Whether it worked changes nothing: the removal is tried either way.
    [[maybe_unused]] const bool emptied = ftruncate(guarded.spare_fd, 0) == 0;
    if (path_names_guarded_file()) {
        unlink(guarded.path);
    }
    close(guarded.spare_fd);
}

// Opens the regular file at `path` only to look at it: without blocking,
// truncating or following a link. Read-only where its permissions allow, and
// write-only where they allow only that, for a hold shows through either.
int open_to_look(const char* path) {
    const int flags = O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
    const int fd = open(path, O_RDONLY | flags);
    if (fd >= 0 || errno != EACCES) {
        return fd;
    }
    return open(path, O_WRONLY | flags);
}

// Whether another run is writing the regular file that `seen` describes: a
// run holds an exclusive lock on its file until it has closed it. A file that
// cannot be opened at all counts as free. Something else at the path by now
// is not this run's to delete either.
bool held_elsewhere(const char* path, const struct stat& seen) {
    const int fd = open_to_look(path);
    if (fd < 0) {
        return false;
    }
    struct stat opened {};
    const bool held = fstat(fd, &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino ||
                      (flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK);
    close(fd);
    return held;
}

void on_interrupt(int signal_number) {
    if (guarding != 0) {
        remove_guarded_file();
    }
    // End by the same signal, as its default action ends a program (with a
    // core dump where that is the action and dumps are on), so that a shell
    // loop around the tool stops too. It is blocked until the handler returns.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigaction(signal_number, &default_action, nullptr);
    raise(signal_number);
}

// Signals that were ignored when the process started stay ignored.
void catch_interrupts() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    action.sa_mask = interrupt_set();
    for (const int signal_number : interrupts) {
        struct sigaction previous {};
        sigaction(signal_number, &action, &previous);
        if (previous.sa_handler == SIG_IGN) {
            sigaction(signal_number, &previous, nullptr);
        }
    }
}

// Takes charge of a file that was just created at `path`; null, with the file
// removed again, when it cannot be guarded.
std::FILE* guard(std::FILE* file, const char* path) {
    struct stat status {};
    const int fd = fileno(file);
    const int spare_fd = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    // A descriptor below 3 means a standard stream is closed after all.
    if (spare_fd < 0 || fd <= STDERR_FILENO || fstat(fd, &status) != 0) {
        if (spare_fd >= 0) {
            close(spare_fd);
        }
        std::fclose(file);
        // Nothing to compare with yet; it is the empty file made a moment ago.
        unlink(path);
        return nullptr;
    }
    guarded = guarded_file{path, status.st_dev, status.st_ino, spare_fd, file};
    // Held while it is written, so that another run leaves it alone. A hold
    // that is already there is another run's, about to delete this file: the
    // image would be lost. Where the file system has no such locks the file is
    // written unheld, and the look before the close still tells a lost image.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        std::fclose(file);
        remove_guarded_file();
        return nullptr;
    }
    catch_interrupts();
    guarding = 1;
    return file;
}

} // namespace

void prepare_process() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // In ascending order, so that each open takes the number just found free.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            open("/dev/null", O_RDWR);
        }
    }
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
    if ((writable_file && !held_elsewhere(path, status)) || S_ISLNK(status.st_mode)) {
        unlink(path);
    }
}

std::FILE* create_guarded_file(const char* path) {
    // From before the file exists until it is guarded, so that no interrupt
    // falls in between.
    const sigset_t saved = block_interrupts();
    // "x": O_CREAT | O_EXCL, which also refuses a symbolic link at the path.
    std::FILE* file = std::fopen(path, "wbxe");
    if (file != nullptr) {
        file = guard(file, path);
    }
    restore_interrupts(saved);
    return file;
}

bool close_guarded_file(std::FILE* file) {
    // The close and the end of the guard are one step for an interrupt: a
    // closed image is complete and must stay.
    const sigset_t saved = block_interrupts();
    // Held until the close, so only another run that came before the hold can
    // have taken the path: then this image is lost, not written.
    bool closed = path_names_guarded_file();
    if (closed) {
        guarded.stream = nullptr;
        closed = std::fclose(file) == 0;
    }
    if (closed) {
        guarding = 0;
        close(guarded.spare_fd);
    }
    restore_interrupts(saved);
    return closed;
}

void discard_guarded_file() {
    const sigset_t saved = block_interrupts();
    if (guarding != 0) {
        // The stream first: closing it may still write what it holds.
        if (guarded.stream != nullptr) {
            std::fclose(guarded.stream);
            guarded.stream = nullptr;
        }
        remove_guarded_file();
    }
    restore_interrupts(saved);
}
