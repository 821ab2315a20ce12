// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "tga_writer.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using bytes = std::vector<unsigned char>;

// A scratch stream that is read back whole.
struct scratch_file {
    scratch_file() : file(std::tmpfile()) {}
    ~scratch_file() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    bytes contents() const {
        std::fflush(file);
        std::rewind(file);
        bytes all;
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
            all.push_back(static_cast<unsigned char>(c));
        }
        return all;
    }
    std::FILE* file;
};

// One pixel per letter: F fill, B blend, R rest; blue, green, red each.
bytes pixels(const std::string& pattern, int blend_green, int blend_red) {
    bytes out;
    for (char p : pattern) {
        const int green = p == 'F' ? 128 : p == 'B' ? blend_green : 0;
        const int red = p == 'F' ? 0 : p == 'B' ? blend_red : 255;
        out.insert(out.end(), {0, static_cast<unsigned char>(green), static_cast<unsigned char>(red)});
    }
    return out;
}

TEST(WriteTgaHeader, UsageExampleBytes) {
    scratch_file out;
    ASSERT_NE(nullptr, out.file);
    ASSERT_TRUE(write_tga_header(out.file, 120, 16));
    const bytes expected = {0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x78, 0x00, 0x10, 0x00, 0x18, 0x20};
    EXPECT_EQ(expected, out.contents());
}

TEST(WriteTgaHeader, LargestSizeHasHighBytes) {
    scratch_file out;
    ASSERT_NE(nullptr, out.file);
    ASSERT_TRUE(write_tga_header(out.file, 8192, 8191));
    const bytes header = out.contents();
    ASSERT_EQ(18u, header.size());
    EXPECT_EQ((bytes{0x00, 0x20, 0xFF, 0x1F}), bytes(header.begin() + 12, header.begin() + 16));
}

struct row_case {
    const char* name;
    std::int32_t width;
    bar_layout layout;
    const char* pattern;
};

const std::vector<row_case> row_cases = {
    {"blend-in-the-middle", 7, {3, 43, 170}, "FFBRRRR"}, {"blend-at-first-column", 3, {1, 0, 255}, "BRR"},
    {"blend-at-last-column", 5, {5, 10, 245}, "FFFFB"},  {"split-after-last-column", 3, {4, 0, 255}, "FFF"},
    {"split-far-right", 4, {INT32_MAX, 9, 9}, "FFFF"},   {"split-before-first-column", 4, {0, 9, 9}, "RRRR"},
    {"no-split-column", 3, {INT32_MIN, 0, 0}, "RRR"},
};

// Names the row in test lists and failures.
void PrintTo(const row_case& c, std::ostream* out) { *out << c.name; }

class fill_bar_row_table : public testing::TestWithParam<row_case> {};

TEST_P(fill_bar_row_table, FollowsThePixelRule) {
    const row_case& c = GetParam();
    bytes row(static_cast<std::size_t>(c.width) * 3 + 3, 0xEE);
    fill_bar_row(row.data(), c.width, c.layout);
    bytes expected = pixels(c.pattern, c.layout.blend_green, c.layout.blend_red);
    expected.insert(expected.end(), {0xEE, 0xEE, 0xEE}); // nothing past the row
    EXPECT_EQ(expected, row);
}

INSTANTIATE_TEST_SUITE_P(Cases, fill_bar_row_table, testing::ValuesIn(row_cases));

TEST(WriteBarRows, UsageExampleRows) {
    scratch_file out;
    ASSERT_NE(nullptr, out.file);
    ASSERT_TRUE(write_bar_rows(out.file, 120, 16, bar_layout{80, 90, 76}));
    const bytes row = pixels(std::string(79, 'F') + "B" + std::string(40, 'R'), 0x5A, 0x4C);
    bytes expected;
    for (int i = 0; i < 16; ++i) {
        expected.insert(expected.end(), row.begin(), row.end());
    }
    EXPECT_EQ(expected, out.contents());
}

TEST(WriteBarRows, ManyBlocksOfWidestRows) {
    // 100 rows of 24,576 bytes take more than one write call.
    scratch_file out;
    ASSERT_NE(nullptr, out.file);
    ASSERT_TRUE(write_bar_rows(out.file, 8192, 100, bar_layout{4000, 7, 200}));
    const bytes all = out.contents();
    const bytes row = pixels(std::string(3999, 'F') + "B" + std::string(4192, 'R'), 7, 200);
    ASSERT_EQ(row.size() * 100, all.size());
    for (std::size_t r = 0; r < 100; ++r) {
        ASSERT_TRUE(std::equal(row.begin(), row.end(), all.begin() + static_cast<std::ptrdiff_t>(r * row.size())))
            << "row " << r;
    }
}

TEST(WriteBarRows, NarrowRowsFollowTheBufferedHeader) {
    // The header may still sit in the stream's buffer when the rows go out;
    // 8192 rows of 9 bytes take several write calls.
    scratch_file out;
    ASSERT_NE(nullptr, out.file);
    ASSERT_TRUE(write_tga_header(out.file, 3, 8192));
    ASSERT_TRUE(write_bar_rows(out.file, 3, 8192, bar_layout{2, 64, 128}));
    const bytes all = out.contents();
    ASSERT_EQ(18u + 9u * 8192u, all.size());
    EXPECT_EQ(0x18, all[16]);
    const bytes row = pixels("FBR", 64, 128);
    for (std::size_t r = 0; r < 8192; ++r) {
        ASSERT_TRUE(std::equal(row.begin(), row.end(), all.begin() + static_cast<std::ptrdiff_t>(18 + r * 9)))
            << "row " << r;
    }
}

TEST(WriteBarRows, RejectsWidthOutsideTheRowBuffer) {
    scratch_file out;
    ASSERT_NE(nullptr, out.file);
    EXPECT_FALSE(write_bar_rows(out.file, 0, 1, bar_layout{1, 0, 255}));
    EXPECT_FALSE(write_bar_rows(out.file, 8193, 1, bar_layout{1, 0, 255}));
    EXPECT_TRUE(out.contents().empty());
}

TEST(TgaWriter, ReportsFailedWrites) {
    scratch_file out;
    ASSERT_NE(nullptr, out.file);
    const std::string path = "tga_writer_test_read_only.tga";
    std::FILE* created = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, created);
    std::fclose(created);
    std::FILE* read_only = std::fopen(path.c_str(), "rb");
    ASSERT_NE(nullptr, read_only);
    EXPECT_FALSE(write_tga_header(read_only, 120, 16));
    EXPECT_FALSE(write_bar_rows(read_only, 120, 16, bar_layout{80, 90, 76}));
    std::fclose(read_only);
    std::remove(path.c_str());
}

} // namespace
