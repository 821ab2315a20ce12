// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "platform_windows.h"
#include "platform.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The C runtime's own parser of the command line, the one that gave main its
// arguments, in its UTF-16 form, and the runtime's own choice on wildcards.
extern "C" int _dowildcard;
extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand_wildcards, int* new_mode);

namespace {

// The longest command line Windows passes on, in UTF-16 units. A unit takes
// at most three bytes of UTF-8 and every argument one more for its end; every
// argument but the last takes at least two units of the line (a character or
// two quotes, and a space).
const std::size_t max_command_line = 32767;
const std::size_t max_arguments = max_command_line / 2 + 1;
char argument_text[4 * max_command_line];
char* argument_list[max_arguments + 1];

// The longest path the system takes, and its end.
wchar_t wide_path[32768];

// A message is a line or two of ASCII and at most one path of 259 UTF-16
// units, at most three bytes each in UTF-8. Each step may double its length
// at most: a carriage return before a line feed, two bytes of a double-byte
// code page for one unit.
const std::size_t message_capacity = 2048;
char message_text[message_capacity];
wchar_t message_wide[message_capacity];
wchar_t console_text[2 * message_capacity];
char ansi_text[2 * message_capacity];

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

int capacity_of(std::size_t capacity) { return static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)); }

// `path` in the system's own form; null when it has none, so that no file of
// another name is ever touched.
const wchar_t* system_path(const char* path) {
    return utf8_to_utf16(path, wide_path, std::size(wide_path)) > 0 ? wide_path : nullptr;
}

// Where the console is not: the ANSI code page, as the text stream wrote
// paths before; a character it lacks becomes '?', never a look-alike.
void print_redirected() {
    const UINT code_page = GetACP();
    if (code_page == CP_UTF8) {
        std::fputs(message_text, stdout);
        return;
    }
    if (WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, message_wide, -1, ansi_text, capacity_of(sizeof ansi_text),
                            "?", nullptr) > 0) {
        std::fputs(ansi_text, stdout);
    }
}

} // namespace

// The console's OEM code page (437 or 850).
const char console_o_acute[] = "\xA2";

std::size_t utf16_to_utf8(const wchar_t* text, char* out, std::size_t capacity) {
    // A capacity of 0 would ask for the length instead.
    if (capacity == 0) {
        return 0;
    }
    const int written =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out, capacity_of(capacity), nullptr, nullptr);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::size_t utf8_to_utf16(const char* text, wchar_t* out, std::size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, capacity_of(capacity));
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

void prepare_process() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool use_utf8_arguments(int& argc, char**& argv) {
    int count = 0;
    wchar_t** wide = nullptr;
    wchar_t** environment = nullptr;
    int new_mode = 0;
    if (__wgetmainargs(&count, &wide, &environment, _dowildcard, &new_mode) < 0 || wide == nullptr || count < 0 ||
        static_cast<std::size_t>(count) > max_arguments) {
        return false;
    }
    std::size_t used = 0;
    for (int i = 0; i < count; ++i) {
        const std::size_t written = utf16_to_utf8(wide[i], argument_text + used, sizeof argument_text - used);
        if (written == 0) {
            return false;
        }
        argument_list[i] = argument_text + used;
        used += written;
    }
    argument_list[count] = nullptr;
    argc = count;
    argv = argument_list;
    return true;
}

std::size_t path_length(const char* path) {
    const std::size_t units = utf8_to_utf16(path, wide_path, std::size(wide_path));
    return units > 0 ? units - 1 : SIZE_MAX;
}

void print_message(const char* format, const char* text, unsigned first, unsigned second) {
    std::snprintf(message_text, sizeof message_text, format, text, first, second);
    if (utf8_to_utf16(message_text, message_wide, std::size(message_wide)) == 0) {
        return;
    }
    const HANDLE out = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) == 0) {
        print_redirected();
        return;
    }
    // What the text stream holds goes first; line ends as it writes them.
    std::fflush(stdout);
    std::size_t length = 0;
    for (const wchar_t* unit = message_wide; *unit != L'\0'; ++unit) {
        if (*unit == L'\n') {
            console_text[length++] = L'\r';
        }
        console_text[length++] = *unit;
    }
    DWORD written = 0;
    WriteConsoleW(out, console_text, static_cast<DWORD>(length), &written, nullptr);
}

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
