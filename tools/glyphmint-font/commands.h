// The commands of glyphmint-font. Each takes its own argument vector (its
// name first, as a program's would be), registers its options with ProgOpts,
// and returns the exit status; a failure is thrown as Err, whose message main
// prints after the program's name.
#pragma once

#include "core/types.h"

/// One line per key about a .fnt and its atlas.
int run_info(i32 argc, const char *const *argv);
/// Draws a text with a baked font into a PNG.
int run_render(i32 argc, const char *const *argv);
/// Writes a baked font in one of the BMFont forms, with its page image.
int run_export(i32 argc, const char *const *argv);
/// Prints the settings lines for the code points a font has.
int run_charset(i32 argc, const char *const *argv);
