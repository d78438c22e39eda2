// A baked font as one C header, for programs that compile their font in
// instead of loading files: the .fnt's bytes and the atlas's pixels as static
// arrays, their sizes as enum constants, readable with glyphmint/fnt.h. It
// compiles warning-free as C99 and C++11, since users include it in both.
#pragma once

#include "core/fs.h"
#include "tools/glyphmint-font/baked/loaded-font.h"

#include <string>
#include <string_view>

/// A letter or _, then letters, digits and _ (ASCII only).
[[nodiscard]] bool is_c_identifier(std::string_view name);

/// The name the header's arrays take without --name: OUT's file name up to its
/// first dot, each run of characters other than ASCII letters and digits made
/// one _, none kept at the start or the end, and font_ before a name that
/// starts with a digit; font for an empty one. No name it gives is reserved
/// in C or C++ (a leading _, or __ anywhere):
///   fonts/DejaVuSans-16.h => DejaVuSans_16,  16px.h => font_16px
[[nodiscard]] std::string default_c_name(const Path &out);

/// The header: a comment on reading it, an include guard, the enum of
/// NAME_fnt_size, NAME_atlas_width and NAME_atlas_height (and
/// NAME_atlas_channels for an atlas of 3 or 4 channels), and the arrays
/// NAME_fnt and NAME_atlas (rows top to bottom) in decimal, lines within 80
/// columns. Throws Err "<fnt>: N bytes, more than the c form's largest
/// constant 2147483647" for a file whose size no int enum constant holds.
[[nodiscard]] std::string c_source(std::string_view name, const LoadedFont &loaded);
