// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "bar_args.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Owns writable copies of the arguments, as the process does.
struct command_line {
    explicit command_line(std::vector<std::string> arguments) : strings(std::move(arguments)) {
        strings.insert(strings.begin(), "tavimo");
        for (std::string& s : strings) {
            pointers.push_back(s.data());
        }
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(strings.size()); }
    char** argv() { return pointers.data(); }

    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

std::vector<std::string> values(const std::string& width, const std::string& height, const std::string& high,
                                const std::string& low, const std::string& current) {
    return {"bar.tga", width, height, high, low, current};
}

struct args_case {
    const char* name;
    std::vector<std::string> arguments;
    bool accepted;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double high = 0;
    double low = 0;
    double current = 0;
};

const double nan = std::nan("");
const double inf = INFINITY;

const std::vector<args_case> args_cases = {
    {"usage-example", values("120", "16", "8,1", "4,735", "6.97"), true, 120, 16, 8.1, 4.735, 6.97},
    {"no-arguments", {}, false},
    {"five-arguments", {"bar.tga", "120", "16", "8", "4"}, false},
    {"seven-arguments", {"bar.tga", "120", "16", "8", "4", "6", "7"}, false},
    {"width-2", values("2", "16", "1", "0", "0"), false},
    {"width-3", values("3", "16", "1", "0", "0"), true, 3, 16, 1, 0, 0},
    {"width-8192", values("8192", "16", "1", "0", "0"), true, 8192, 16, 1, 0, 0},
    {"width-8193", values("8193", "16", "1", "0", "0"), false},
    {"height-0", values("10", "0", "1", "0", "0"), false},
    {"height-1", values("10", "1", "1", "0", "0"), true, 10, 1, 1, 0, 0},
    {"height-8192", values("10", "8192", "1", "0", "0"), true, 10, 8192, 1, 0, 0},
    {"height-8193", values("10", "8193", "1", "0", "0"), false},
    {"width-with-suffix", values("120px", "16", "1", "0", "0"), true, 120, 16, 1, 0, 0},
    {"width-not-a-number", values("abc", "16", "1", "0", "0"), false},
    {"width-in-fullwidth-digits", values("\uff11\uff12\uff10", "16", "1", "0", "0"), false},
    {"value-in-fullwidth-digits-reads-zero", values("10", "1", "10", "0", "\uff15"), true, 10, 1, 10, 0, 0},
    {"width-comma-stops-number", values("12,7", "16", "1", "0", "0"), true, 12, 16, 1, 0, 0},
    {"width-space-and-sign", values(" \t+120", "16", "1", "0", "0"), true, 120, 16, 1, 0, 0},
    {"width-wraps-on-64-bit-atoi", values("4294967299", "16", "1", "0", "0"), false},
    {"width-twenty-digits", values("99999999999999999999", "16", "1", "0", "0"), false},
    {"height-wraps-negative", values("10", "-4294967295", "1", "0", "0"), false},
    {"path-259-bytes", {std::string(259, 'p'), "10", "1", "1", "0", "0"}, true, 10, 1, 1, 0, 0},
    {"path-260-bytes", {std::string(260, 'p'), "10", "1", "1", "0", "0"}, false},
    {"empty-path", {"", "10", "1", "1", "0", "0"}, true, 10, 1, 1, 0, 0},
    {"thousands-point-then-comma", values("10", "1", "1.234,5", "0", "1"), true, 10, 1, 1.234, 0, 1},
    {"two-commas", values("10", "1", "1,234,5", "0", "1"), true, 10, 1, 1.234, 0, 1},
    {"all-equal", values("10", "1", "5", "5", "5"), true, 10, 1, 5, 5, 5},
    {"low-above-high", values("10", "1", "5", "6", "5"), false},
    {"current-just-above-high", values("10", "1", "10", "0", "10.000000000000002"), false},
    {"current-just-below-low", values("10", "1", "10", "0", "-4.9e-324"), false},
    {"low-not-a-number-reads-zero", values("10", "1", "10", "abc", "5"), true, 10, 1, 10, 0, 5},
    {"empty-value-reads-zero", values("10", "1", "10", "", "0"), true, 10, 1, 10, 0, 0},
    {"current-nan-passes", values("10", "1", "10", "0", "nan"), true, 10, 1, 10, 0, nan},
    {"high-infinite", values("10", "1", "inf", "0", "5"), true, 10, 1, inf, 0, 5},
    {"low-minus-infinite", values("10", "1", "1", "-inf", "0,5"), true, 10, 1, 1, -inf, 0.5},
};

// Names the row in test lists and failures.
void PrintTo(const args_case& c, std::ostream* out) { *out << c.name; }

class read_bar_args_table : public testing::TestWithParam<args_case> {};

void expect_same_double(double expected, double actual) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual));
    } else {
        EXPECT_EQ(expected, actual);
    }
}

TEST_P(read_bar_args_table, AcceptsOrRejects) {
    const args_case& c = GetParam();
    command_line line(c.arguments);
    bar_args args{};
    ASSERT_EQ(c.accepted, read_bar_args(line.argc(), line.argv(), args));
    if (!c.accepted) {
        return;
    }
    EXPECT_EQ(line.argv()[1], args.target_path);
    EXPECT_EQ(c.width, args.width);
    EXPECT_EQ(c.height, args.height);
    expect_same_double(c.high, args.high);
    expect_same_double(c.low, args.low);
    expect_same_double(c.current, args.current);
}

INSTANTIATE_TEST_SUITE_P(Cases, read_bar_args_table, testing::ValuesIn(args_cases));

TEST(ReadBarArgs, RewritesCommasOfTheValuesOnlyEvenWhenRejected) {
    command_line line({"a,b.tga", "2,0", "1,5", "8,1", "4,735", "6,97"});
    bar_args args{};
    EXPECT_FALSE(read_bar_args(line.argc(), line.argv(), args));
    EXPECT_STREQ("a,b.tga", line.argv()[1]);
    EXPECT_STREQ("2,0", line.argv()[2]);
    EXPECT_STREQ("1,5", line.argv()[3]);
    EXPECT_STREQ("8.1", line.argv()[4]);
    EXPECT_STREQ("4.735", line.argv()[5]);
    EXPECT_STREQ("6.97", line.argv()[6]);
}

TEST(ReadBarArgs, WrongCountLooksAtNoArgument) {
    command_line line({"bar.tga", "120", "16", "8,1", "4,735"});
    bar_args args{};
    EXPECT_FALSE(read_bar_args(line.argc(), line.argv(), args));
    EXPECT_STREQ("8,1", line.argv()[4]);
}

struct whole_number_case {
    const char* text;
    std::int32_t expected;
};

TEST(ReadWholeNumber, FollowsAtoiButSaturates) {
    const whole_number_case cases[] = {
        {"0", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"4294967299", INT32_MAX},
        {"99999999999999999999", INT32_MAX},
        {"-4294967295", INT32_MIN},
        {"  -12abc", -12},
        {"+7", 7},
        {"\v\f\r\n\t 9", 9},
        {"- 5", 0},
        {"+-5", 0},
        {"", 0},
        {"0x10", 0},
        {"007", 7},
    };
    for (const whole_number_case& c : cases) {
        EXPECT_EQ(c.expected, read_whole_number(c.text)) << "text \"" << c.text << "\"";
    }
}

} // namespace
