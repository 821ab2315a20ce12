// SPDX-FileCopyrightText: 2026 The Tavimo developers
// SPDX-License-Identifier: MIT

#pragma once

// Removes whatever may be removed at `target_path` before the new image is
// written, and says so on standard output. False (after its error message)
// when something is still there afterwards.
bool replace_target_file(const char* target_path);
