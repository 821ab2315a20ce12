#pragma once

#include <cstddef>
#include <cstdio>

// What the program needs from the operating system. The build picks one
// implementation per platform; no other file names a platform.

// The bytes of the letter o with acute accent in the console's encoding.
extern const char console_o_acute[];

// Sets up the process so that neither a closed standard output nor a file
// size limit ends it by a signal: such failures come back as write errors.
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
std::FILE* create_new_file(const char* path);

// Writes `count` copies of the `size` bytes at `data` to `file`, handing the
// system large blocks (about 1 MiB per call) while holding only the one copy
// in memory. False at the first failed write.
bool write_copies(std::FILE* file, const unsigned char* data, std::size_t size, std::size_t count);
