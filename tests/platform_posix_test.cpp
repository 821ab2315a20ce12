#include "platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct scratch_dir {
    scratch_dir() {
        std::string pattern = (fs::temp_directory_path() / "tavimo-platform-XXXXXX").string();
        path = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~scratch_dir() {
        if (!path.empty()) {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    }
    std::string at(const char* name) const { return path + "/" + name; }
    std::string path;
};

void write_text(const std::string& path, const char* text) {
    std::ofstream(path) << text;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

enum class kind { writable_file, read_only_file, directory, fifo, device, link_to_file, dangling_link };

// Makes `name` in `dir`; false when the test cannot make it here.
bool make(const scratch_dir& dir, const char* name, kind k) {
    const std::string path = dir.at(name);
    switch (k) {
    case kind::writable_file:
        write_text(path, "old");
        return true;
    case kind::read_only_file:
        write_text(path, "old");
        return chmod(path.c_str(), 0444) == 0;
    case kind::directory:
        return mkdir(path.c_str(), 0755) == 0;
    case kind::fifo:
        return mkfifo(path.c_str(), 0644) == 0;
    case kind::device:
        return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    case kind::link_to_file:
        write_text(dir.at("pointee"), "old");
        return symlink("pointee", path.c_str()) == 0;
    case kind::dangling_link:
        return symlink("nowhere", path.c_str()) == 0;
    }
    return false;
}

struct delete_case {
    const char* name;
    kind before;
    bool deleted;
};

const std::vector<delete_case> delete_cases = {
    {"writable-file", kind::writable_file, true},
    {"read-only-file", kind::read_only_file, false},
    {"directory", kind::directory, false},
    {"fifo", kind::fifo, false},
    {"device", kind::device, false},
    {"link-to-file", kind::link_to_file, true},
    {"dangling-link", kind::dangling_link, true},
};

// Names the row in test lists and failures.
void PrintTo(const delete_case& c, std::ostream* out) { *out << c.name; }

class delete_file_table : public testing::TestWithParam<delete_case> {};

TEST_P(delete_file_table, DeletesOnlyWhatMayGo) {
    const delete_case& c = GetParam();
    scratch_dir dir;
    ASSERT_FALSE(dir.path.empty());
    if (!make(dir, "target", c.before)) {
        GTEST_SKIP() << "cannot make it here: " << std::strerror(errno);
    }
    const std::string target = dir.at("target");
    ASSERT_TRUE(path_exists(target.c_str()));
    delete_file(target.c_str());
    EXPECT_EQ(!c.deleted, path_exists(target.c_str()));
    if (c.before == kind::link_to_file) {
        EXPECT_EQ("old", read_text(dir.at("pointee")));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, delete_file_table, testing::ValuesIn(delete_cases));

TEST(PathExists, NothingThereAndEmptyPath) {
    scratch_dir dir;
    ASSERT_FALSE(dir.path.empty());
    EXPECT_FALSE(path_exists(dir.at("missing").c_str()));
    EXPECT_FALSE(path_exists(""));
}

TEST(CreateNewFile, RefusesAnythingAlreadyThere) {
    scratch_dir dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_TRUE(make(dir, "file", kind::writable_file));
    ASSERT_TRUE(make(dir, "dangling", kind::dangling_link));
    EXPECT_EQ(nullptr, create_new_file(dir.at("file").c_str()));
    EXPECT_EQ("old", read_text(dir.at("file")));
    // Writing through the link would create its target.
    EXPECT_EQ(nullptr, create_new_file(dir.at("dangling").c_str()));
    EXPECT_FALSE(path_exists(dir.at("nowhere").c_str()));
}

TEST(CreateNewFile, CreatesANewFile) {
    scratch_dir dir;
    ASSERT_FALSE(dir.path.empty());
    std::FILE* file = create_new_file(dir.at("new").c_str());
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(3u, std::fwrite("a\nb", 1, 3, file));
    EXPECT_EQ(0, std::fclose(file));
    EXPECT_EQ("a\nb", read_text(dir.at("new")));
}

} // namespace
