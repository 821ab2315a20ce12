// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "platform_windows.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform.h"

namespace {

// One text in both forms; `utf8` empty where the UTF-16 has no UTF-8 form.
struct conversion_case {
    const char* name;
    std::wstring utf16;
    std::string utf8;
};

TEST(Conversion, BothWaysExactlyOrNotAtAll) {
    const conversion_case cases[] = {
        {"ascii", L"bar.tga", "bar.tga"},
        {"empty", L"", ""},
        {"two-bytes", L"Grafiek \x0142.tga", "Grafiek \xC5\x82.tga"},
        {"three-bytes", L"\x56FE\x8868.tga", "\xE5\x9B\xBE\xE8\xA1\xA8.tga"},
        {"surrogate-pair", L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {"lone-high-surrogate", std::wstring(L"a\xD800") + L"b", ""},
        {"lone-low-surrogate", L"\xDC00", ""},
    };
    for (const conversion_case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool valid = !c.utf8.empty() || c.utf16.empty();
        char utf8[16];
        const std::size_t bytes = utf16_to_utf8(c.utf16.c_str(), utf8, sizeof utf8);
        ASSERT_EQ(valid ? c.utf8.size() + 1 : 0, bytes);
        if (!valid) {
            continue;
        }
        EXPECT_EQ(c.utf8, utf8);
        EXPECT_EQ(c.utf16.size(), path_length(c.utf8.c_str()));
        wchar_t utf16[16];
        ASSERT_EQ(c.utf16.size() + 1, utf8_to_utf16(c.utf8.c_str(), utf16, c.utf16.size() + 1));
        EXPECT_EQ(c.utf16, utf16);
        // One unit short: nothing, rather than a shortened name.
        EXPECT_EQ(0u, utf16_to_utf8(c.utf16.c_str(), utf8, c.utf8.size()));
        EXPECT_EQ(0u, utf8_to_utf16(c.utf8.c_str(), utf16, c.utf16.size()));
    }
    wchar_t utf16[4];
    EXPECT_EQ(0u, utf8_to_utf16("\xC0\xAF", utf16, 4)) << "an overlong slash";
}

// The program's own name is never looked at; the six arguments must be text.
struct arguments_case {
    const char* name;
    std::vector<const wchar_t*> utf16;
    std::vector<std::string> utf8; // empty: a bad command line
};

TEST(Arguments, OnlyTheSixAreText) {
    const arguments_case cases[] = {
        {"lone-surrogate-in-program-name",
         {L"\xD800.exe", L"\x56FE.tga", L"3", L"1", L"1", L"0", L"0,5"},
         {"tavimo", "\xE5\x9B\xBE.tga", "3", "1", "1", "0", "0,5"}},
        {"lone-surrogate-in-last-value", {L"tavimo.exe", L"bar.tga", L"3", L"1", L"1", L"0", L"\xDC00"}, {}},
    };
    for (const arguments_case& c : cases) {
        SCOPED_TRACE(c.name);
        int argc = 0;
        char** argv = nullptr;
        ASSERT_EQ(!c.utf8.empty(), utf8_arguments(static_cast<int>(c.utf16.size()), c.utf16.data(), argc, argv));
        if (!c.utf8.empty()) {
            EXPECT_EQ(c.utf8, std::vector<std::string>(argv, argv + argc));
        }
    }
}

} // namespace
