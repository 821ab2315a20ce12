// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A new folder under the system's temporary folder, removed with everything
// in it at the end of the test. `path` is empty if it could not be made.
struct scratch_dir {
    explicit scratch_dir(const char* prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~scratch_dir() {
        std::error_code ignored;
        if (!path.empty()) {
            std::filesystem::remove_all(path, ignored);
        }
    }
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    std::string at(const std::string& name) const { return path + "/" + name; }

    std::string path;
};

// In blocks: images are up to 201 MB, read under an emulator too.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string contents;
    static char block[1 << 16];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        contents.append(block, static_cast<std::size_t>(in.gcount()));
    }
    return contents;
}
