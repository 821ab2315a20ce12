// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "platform.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// Copies of the row are gathered here and written in blocks of this size.
const std::size_t block_size = std::size_t{1} << 20;
unsigned char block[block_size];

// The console handler runs on a thread of its own. The lock makes a close and
// the end of the guard one step for it: a closed image is complete and stays.
enum guard_state : int { unguarded, writing, interrupted };
SRWLOCK guard_lock = SRWLOCK_INIT;
std::atomic<int> state{unguarded};
// A second handle of the guarded file, which outlives the stream so that the
// file can still be removed after a failed close.
HANDLE spare = nullptr;
std::FILE* stream = nullptr; // null once a close has been tried

// Empties the file, then marks it for deletion through its handle: it goes
// when its last handle is closed, whatever the path names by then.
void remove_by_handle(HANDLE handle) {
    FILE_END_OF_FILE_INFO end{};
    SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end);
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

// Ctrl+C, Ctrl+Break, a closing console window, log-off and shut-down.
BOOL WINAPI on_console_event(DWORD) {
    AcquireSRWLockExclusive(&guard_lock);
    const bool guarded = state.load() != unguarded;
    if (guarded) {
        state = interrupted;
    }
    ReleaseSRWLockExclusive(&guard_lock);
    if (!guarded) {
        return FALSE; // nothing of ours at stake: the usual end
    }
    // The writer stops at its next block, and the run ends the process once
    // the file is gone. Returning would let the system end it at once, with
    // the file half written.
    for (;;) {
        Sleep(INFINITE);
    }
}

} // namespace

// The console's OEM code page (437 or 850).
const char console_o_acute[] = "\xA2";

void prepare_process() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool path_exists(const char* path) { return _access(path, 0) == 0; }

void delete_file(const char* path) {
    // The kernel refuses directories and read-only files by itself.
    DeleteFileA(path);
}

std::FILE* create_guarded_file(const char* path) {
    // New only, so nothing that appeared after the delete is overwritten.
    // Without shared delete access no other process can delete or rename the
    // file while it is open, so its path names it until it is closed.
    const HANDLE handle = CreateFileA(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const HANDLE process = GetCurrentProcess();
    HANDLE second = nullptr;
    const bool duplicated = DuplicateHandle(process, handle, process, &second, 0, FALSE, DUPLICATE_SAME_ACCESS) != 0;
    const int fd = duplicated ? _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY) : -1;
    // The runtime keeps 0 to 2 for the standard streams, even for a process
    // without them; the image must never share a number with one.
    std::FILE* file = fd > 2 ? _fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        remove_by_handle(handle);
        if (fd >= 0) {
            _close(fd);
        } else {
            CloseHandle(handle);
        }
        if (duplicated) {
            CloseHandle(second);
        }
        return nullptr;
    }
    // Unbuffered: the row writer hands it 1 MiB blocks, which a stream buffer
    // would only copy once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    AcquireSRWLockExclusive(&guard_lock);
    spare = second;
    stream = file;
    state = writing;
    ReleaseSRWLockExclusive(&guard_lock);
    return file;
}

bool close_guarded_file(std::FILE* file) {
    AcquireSRWLockExclusive(&guard_lock);
    bool closed = false;
    if (state.load() == writing) {
        stream = nullptr;
        closed = std::fclose(file) == 0;
        if (closed) {
            state = unguarded;
            CloseHandle(spare);
        }
    }
    ReleaseSRWLockExclusive(&guard_lock);
    return closed;
}

void discard_guarded_file() {
    AcquireSRWLockExclusive(&guard_lock);
    const bool was_interrupted = state.load() == interrupted;
    if (state.load() != unguarded) {
        if (stream != nullptr) {
            std::fclose(stream);
            stream = nullptr;
        }
        remove_by_handle(spare);
        CloseHandle(spare);
        state = unguarded;
    }
    ReleaseSRWLockExclusive(&guard_lock);
    if (was_interrupted) {
        // The status Windows gives a console program ended by Ctrl+C.
        ExitProcess(STATUS_CONTROL_C_EXIT);
    }
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
        if (state.load() == interrupted) {
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
