// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include <cstdio>

#include "bar_args.h"
#include "bar_layout.h"
#include "platform.h"
#include "target_file.h"
#include "tga_writer.h"

namespace {

const char cannot_create_message[] = "\nFout: kan doelbestand \"%s\" niet aanmaken.";
const char creating_message[] = "\nDoelbestand \"%s\" wordt aangemaakt.\n";
const char writing_message[] = "Kleuren berekend.\nAanmaken TGA-afbeelding \"%s\", grootte %u x %u pixels...\n";
const char incomplete_message[] = "\nFout: doelbestand \"%s\" kan niet volledig worden geschreven.\n";
const char done_message[] = "Gereed.\n";

// A partly written image is worse than none: discard it and say so.
int abandon_target(const char* target_path) {
    discard_guarded_file();
    print_message(incomplete_message, target_path);
    return 1;
}

int run_bar_image(const bar_args& args) {
    if (!replace_target_file(args.target_path)) {
        return 1;
    }
    std::FILE* file = create_guarded_file(args.target_path);
    if (file == nullptr) {
        print_message(cannot_create_message, args.target_path);
        return 1;
    }
    print_message(creating_message, args.target_path);

    if (!write_tga_header(file, args.width, args.height)) {
        return abandon_target(args.target_path);
    }
    const bar_layout layout = compute_bar_layout(args.width, args.high, args.low, args.current);
    print_message(writing_message, args.target_path, static_cast<unsigned>(args.width),
                  static_cast<unsigned>(args.height));

    if (!write_bar_rows(file, args.width, args.height, layout)) {
        return abandon_target(args.target_path);
    }
    if (!close_guarded_file(file)) {
        return abandon_target(args.target_path);
    }
    print_message(done_message);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    prepare_process();
    bar_args args{};
    if (!use_utf8_arguments(argc, argv) || !read_bar_args(argc, argv, args)) {
        print_usage();
        return 1;
    }
    return run_bar_image(args);
}
