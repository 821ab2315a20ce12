// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdio>

// What the program needs from the operating system. The build picks one
// implementation per platform; no other file names a platform.

// The bytes of the letter o with acute accent in the console's encoding.
extern const char console_o_acute[];

// Sets up the process so that neither a closed standard output nor a file
// size limit ends it by a signal: such failures come back as write errors.
// A standard stream that was closed at start is opened on the null device,
// so that no file of ours takes its number and what is printed stays out of
// the image.
void prepare_process();

// Whether anything at all exists at `path`, a dangling symbolic link included.
bool path_exists(const char* path);

// Deletes a writable regular file or a symbolic link (never what it points
// to). Anything else is left alone: directories, read-only files, devices,
// pipes and sockets. Whether it worked is for the caller to find out with
// path_exists.
void delete_file(const char* path);

// Creates a new file for binary writing, failing if anything exists at `path`
// (a symbolic link included), so nothing is written through a link or over
// something that appeared after the delete. Null on failure.
//
// The file is guarded from then until close_guarded_file succeeds: an
// interrupt (Ctrl+C, a request to terminate, a closing terminal or console)
// removes it and ends the process as an interrupted process ends, so that no
// partial image is left behind. Interrupts before and after keep their usual
// effect. Only one file is guarded at a time; `path` must outlive the guard.
std::FILE* create_guarded_file(const char* path);

// Closes the guarded file once it is completely written. From the moment the
// close succeeds the image is complete and no interrupt removes it. False when
// the close fails or an interrupt came first; the file is then still guarded,
// for discard_guarded_file.
bool close_guarded_file(std::FILE* file);

// Gives up the guarded file after a failed write or close: closes it if it is
// still open, empties it and removes it while `path` still names this very
// file (never what another process has put there since). If the removal fails
// too, an empty file is left, never a partial image. When an interrupt stopped
// the writing, the process ends here, as an interrupted process ends.
void discard_guarded_file();

// Writes `count` copies of the `size` bytes at `data` to `file`, handing the
// system large blocks (about 1 MiB per call) while holding only the one copy
// in memory. False at the first failed write, and before the next block once
// an interrupt is pending.
bool write_copies(std::FILE* file, const unsigned char* data, std::size_t size, std::size_t count);
