// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

// The guarded file: the target's existence and deletion, the creation of the
// image, and the console handler by which an interrupt leaves no partial one.

#include "platform.h"
#include "platform_windows.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

#include <fcntl.h>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

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

void prepare_process() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool interrupt_pending() { return state.load() == interrupted; }

bool path_exists(const char* path) {
    const wchar_t* wide = system_path(path);
    return wide != nullptr && _waccess(wide, 0) == 0;
}

void delete_file(const char* path) {
    // The kernel itself refuses directories, read-only files and files that
    // are open without shared delete access.
    if (const wchar_t* wide = system_path(path)) {
        DeleteFileW(wide);
    }
}

std::FILE* create_guarded_file(const char* path) {
    const wchar_t* wide = system_path(path);
    if (wide == nullptr) {
        return nullptr;
    }
    // New only, so nothing that appeared after the delete is overwritten.
    // Without shared delete access no other process can delete or rename the
    // file while it is open, so its path names it until it is closed.
    const HANDLE handle = CreateFileW(wide, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // A device name (\\.\NUL) opens the device itself, which is no image and
    // nothing to remove.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
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
