// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "platform.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
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

TEST(CreateGuardedFile, WritesAndClosesANewFile) {
    scratch_dir dir("tavimo-platform");
    ASSERT_FALSE(dir.path.empty());
    const std::string path = dir.at("new");
    std::FILE* file = create_guarded_file(path.c_str());
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(3u, std::fwrite("a\nb", 1, 3, file));
    EXPECT_TRUE(close_guarded_file(file));
    // Once closed, the file is no longer ours to discard.
    discard_guarded_file();
    EXPECT_EQ("a\nb", read_file(path));
}

// What a discard leaves at the path, and of the file it wrote, when the path
// still names that file and when another process has put a file of its own
// there since.
TEST(DiscardGuardedFile, RemovesOnlyItsOwnFile) {
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "still there");
        scratch_dir dir("tavimo-platform");
        ASSERT_FALSE(dir.path.empty());
        const std::string path = dir.at("image");
        std::FILE* file = create_guarded_file(path.c_str());
        ASSERT_NE(nullptr, file);
        EXPECT_EQ(7u, std::fwrite("partial", 1, 7, file));
        if (replaced) {
            ASSERT_EQ(0, std::rename(path.c_str(), dir.at("moved").c_str()));
            write_text(path, "theirs");
        }
        discard_guarded_file();
        if (replaced) {
            EXPECT_EQ("theirs", read_file(path));
            EXPECT_EQ("", read_file(dir.at("moved"))) << "our own file is emptied wherever it is";
        } else {
            EXPECT_FALSE(path_exists(path.c_str()));
        }
    }
}

} // namespace
