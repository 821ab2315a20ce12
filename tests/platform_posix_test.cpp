// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "scratch_dir.h"

namespace {

void write_text(const std::string& path, const char* text) { std::ofstream(path) << text; }

TEST(PathExists, NothingThereAndEmptyPath) {
    scratch_dir dir("tavimo-platform");
    ASSERT_FALSE(dir.path.empty());
    EXPECT_FALSE(path_exists(dir.at("missing").c_str()));
    EXPECT_FALSE(path_exists(""));
}

TEST(CreateGuardedFile, RefusesAnythingAlreadyThere) {
    scratch_dir dir("tavimo-platform");
    ASSERT_FALSE(dir.path.empty());
    write_text(dir.at("file"), "old");
    ASSERT_EQ(0, symlink("nowhere", dir.at("dangling").c_str()));
    EXPECT_EQ(nullptr, create_guarded_file(dir.at("file").c_str()));
    EXPECT_EQ("old", read_file(dir.at("file")));
    // Writing through the link would create its target.
    EXPECT_EQ(nullptr, create_guarded_file(dir.at("dangling").c_str()));
    EXPECT_FALSE(path_exists(dir.at("nowhere").c_str()));
}

// What each end of the guard leaves: a closed file stays, and a later discard
// no longer touches it; a discarded file goes, unless another process has put
// a file of its own at the path meanwhile, which stays, while ours is emptied
// wherever it now is. Once replaced, ours cannot be closed as written.
struct guard_end_case {
    const char* name;
    bool replaced;
    bool close_tried;         // after the replacement
    const char* left_at_path; // null: nothing
};

TEST(GuardedFile, WhatEachEndLeaves) {
    const guard_end_case cases[] = {
        {"closed", false, true, "a\nb"},
        {"discarded", false, false, nullptr},
        {"discarded-after-replacement", true, false, "theirs"},
        {"closed-after-replacement", true, true, "theirs"},
    };
    for (const guard_end_case& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_dir dir("tavimo-platform");
        ASSERT_FALSE(dir.path.empty());
        const std::string path = dir.at("image");
        std::FILE* file = create_guarded_file(path.c_str());
        ASSERT_NE(nullptr, file);
        EXPECT_EQ(3u, std::fwrite("a\nb", 1, 3, file));
        if (c.replaced) {
            ASSERT_EQ(0, std::rename(path.c_str(), dir.at("moved").c_str()));
            write_text(path, "theirs");
        }
        if (c.close_tried) {
            EXPECT_EQ(!c.replaced, close_guarded_file(file));
        }
        discard_guarded_file();
        EXPECT_EQ(c.left_at_path != nullptr, path_exists(path.c_str()));
        if (c.left_at_path != nullptr) {
            EXPECT_EQ(c.left_at_path, read_file(path));
        }
        if (c.replaced) {
            EXPECT_EQ("", read_file(dir.at("moved"))) << "our own file is not emptied";
        }
    }
}

volatile std::sig_atomic_t ticks = 0;
void on_tick(int /*signal_number*/) { ticks = ticks + 1; }

// Real short writes: a slow reader keeps the pipe full, and a timer whose
// handler does not restart calls interrupts the blocked writes part way
// through a copy. Every byte must arrive once, in order.
TEST(WriteCopies, ResumesShortWritesWhereTheyStopped) {
    unsigned char row[3001]; // neither a divisor nor a multiple of the pipe's size
    for (std::size_t i = 0; i < sizeof row; ++i) {
        row[i] = static_cast<unsigned char>(i * 7 + i / 256);
    }
    const std::size_t copies = 1000;
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        close(ends[0]);
        struct sigaction action {};
        action.sa_handler = on_tick;
        sigaction(SIGALRM, &action, nullptr);
        const itimerval every_millisecond = {{0, 1000}, {0, 1000}};
        setitimer(ITIMER_REAL, &every_millisecond, nullptr);
        std::FILE* out = fdopen(ends[1], "wb");
        const bool written = out != nullptr && write_copies(out, row, sizeof row, copies);
        _exit(written && ticks > 0 ? 0 : 1);
    }
    close(ends[1]);
    std::string received;
    char block[4093];
    for (ssize_t got = 0; (got = read(ends[0], block, sizeof block)) != 0;) {
        if (got < 0 && errno != EINTR) {
            break;
        }
        received.append(block, static_cast<std::size_t>(got > 0 ? got : 0));
        usleep(20);
    }
    close(ends[0]);
    int status = 0;
    ASSERT_EQ(writer, waitpid(writer, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed, or never interrupted";
    ASSERT_EQ(copies * sizeof row, received.size());
    for (std::size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(row[i % sizeof row], static_cast<unsigned char>(received[i])) << "byte " << i;
    }
}

} // namespace
