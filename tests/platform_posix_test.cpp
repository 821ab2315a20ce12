#include "platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

TEST(CreateNewFile, RefusesAnythingAlreadyThere) {
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

TEST(CreateNewFile, CreatesANewFile) {
    scratch_dir dir("tavimo-platform");
    ASSERT_FALSE(dir.path.empty());
    std::FILE* file = create_guarded_file(dir.at("new").c_str());
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(3u, std::fwrite("a\nb", 1, 3, file));
    EXPECT_EQ(0, std::fclose(file));
    EXPECT_EQ("a\nb", read_file(dir.at("new")));
}

} // namespace
