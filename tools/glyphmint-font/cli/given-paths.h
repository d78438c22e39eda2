// The paths a user names to the font tool, checked before use, so that a
// fault is told in the user's terms: which argument was empty, how long a
// path may be.
#pragma once

#include "core/fs.h"

/// The path that the argument `what` ("FONT.fnt", "--font") gave; throws Err
/// "the <what> path is empty" for an empty one, which names no file.
[[nodiscard]] Path given_path(StrView text, const char *what);

/// Throws Err "<path>: the path is too long (<N> bytes; at most 508)" for a
/// path longer than the file operations take; read or write a file only
/// after this check.
void require_short_path(const Path &path);

/// Whether the word is "-", which stands for standard input or output.
[[nodiscard]] bool is_standard_stream(StrView word);
