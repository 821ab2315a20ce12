// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#include "target_file.h"

#include "platform.h"

namespace {

const char cannot_delete_message[] = "\nFout: al bestaande doelbestand \"%s\" kan niet worden gewist.\n";
const char deleted_message[] = "\nAl bestaande doelbestand \"%s\" is gewist.\n";

} // namespace

bool replace_target_file(const char* target_path) {
    if (!path_exists(target_path)) {
        return true;
    }
    // Only the second look decides: the delete's own result is not trusted.
    delete_file(target_path);
    if (path_exists(target_path)) {
        print_message(cannot_delete_message, target_path);
        return false;
    }
    print_message(deleted_message, target_path);
    return true;
}
