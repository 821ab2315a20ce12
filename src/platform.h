// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdio>

// What the program needs from the operating system. The build picks one
// implementation per platform; no other file names a platform.

// Sets up the process so that neither a closed standard output nor a file
// size limit ends it by a signal: such failures come back as write errors.
// A standard stream that was closed at start is opened on the null device,
// so that no file of ours takes its number and what is printed stays out of
// the image.
void prepare_process();

// Paths and messages are UTF-8 text everywhere in the program.

// Makes `argv` the command line as UTF-8 text. On POSIX the arguments are the
// bytes of the names already and stay as they are; on Windows they are read
// again from the system's own UTF-16 command line, split by the same rules as
// main's, into fixed storage, with a fixed text in place of the program's own
// name, which is never looked at. False when an argument is no text (a lone
// surrogate) or the command line does not fit: a bad command line.
bool use_utf8_arguments(int& argc, char**& argv);

// The length of `path` in the unit of the system's own limit on paths: bytes
// on POSIX, UTF-16 units on Windows.
std::size_t path_length(const char* path);

// Prints `format` to standard output as printf does, with `text` for its %s
// and `first` and `second` for its %u, each where the format has one. On a
// Windows console the text shows as it is; redirected there, it is written in
// the ANSI code page, with '?' for what that lacks. Whatever standard output
// is, the message has been handed to the system when the call returns.
void print_message(const char* format, const char* text = "", unsigned first = 0, unsigned second = 0);

// Prints the program's own `text`, which has no placeholders, to standard
// output. On a Windows console it shows as it is; redirected there, it is
// written in the OEM code page that such texts have always been written in
// ("ó" as 0xA2). Handed to the system before the call returns, as a message.
void print_text(const char* text);

// Whether anything at all exists at `path`, a dangling symbolic link included.
bool path_exists(const char* path);

// Deletes a writable regular file or a symbolic link (never what it points
// to). Anything else is left alone: directories, read-only files, devices,
// pipes and sockets, and a file that another run is still writing. Whether it
// worked is for the caller to find out with path_exists.
void delete_file(const char* path);

// Creates a new file for binary writing, failing if anything exists at `path`
// (a symbolic link included), so nothing is written through a link or over
// something that appeared after the delete. Null on failure, and for anything
// but a file on disk. The file is held while it is written, so that another
// run does not delete it.
//
// The file is guarded from then until close_guarded_file succeeds: an
// interrupt (Ctrl+C, a request to terminate, a closing terminal or console, a
// CPU time limit, any signal sent to end the process) removes it and ends the
// process as that interrupt would have, so that no partial image is left
// behind. Interrupts before and after keep their usual effect, and ignored
// ones stay ignored. Only one file is guarded at a time; `path` must outlive
// the guard.
std::FILE* create_guarded_file(const char* path);

// Closes the guarded file once it is completely written. From the moment the
// close succeeds the image is complete, stands at `path`, and no interrupt
// removes it. False when the close fails, an interrupt came first, or `path`
// no longer names the file (another run took it before it was held); the file
// is then still guarded, for discard_guarded_file.
bool close_guarded_file(std::FILE* file);

// Gives up the guarded file after a failed write or close: closes it if it is
// still open, empties it and removes it while `path` still names this very
// file (never what another process has put there since). When the removal
// fails, what the emptying left stays: an empty file, or, where the file
// system refuses both (one that went read-only), the partial one. When an
// interrupt stopped the writing, the process ends here, as an interrupted
// process ends.
void discard_guarded_file();

// Writes `count` copies of the `size` bytes at `data` to `file`, many in each
// call to the system (at most 1 MiB), in fixed memory whatever the count.
// False at the first failed write, and before the next block once an
// interrupt is pending.
bool write_copies(std::FILE* file, const unsigned char* data, std::size_t size, std::size_t count);
