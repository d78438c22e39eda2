// The settings of one *.glyphmint.ini file: which font to bake, at which pixel
// sizes, and which code points. The keys "path", "sizes", "ranges" and "chars"
// are read from the properties before the first section header only, and the
// list values follow a strict grammar: items separated by exactly ", ".
#pragma once

#include "core/fmt.h"
#include "core/fs.h"
#include "core/list.h"

/// One inclusive range of code points; first > last is legal and empty.
struct CharRange {
  i32 first = 0;
  i32 last = 0;
};

/// The settings record of one file.
struct Glyphmint {
  /// The value of "path" joined below the settings file's directory.
  Path font;
  List<int> sizes;
  List<CharRange> ranges;
  List<int> chars;
};

/// "[16, 24]", "[16, 24, ]" or "[]"; appends to `out`, which may hold a prefix
/// of the items when parsing fails.
template <> struct StrParser<List<int>> {
  [[nodiscard]] static bool try_parse(StrView text, List<int> &out);
};

/// "[32-126, 160-255]"; each item is split at its first '-', so "10--5" is the
/// empty range 10..-5 and "-1-5" fails.
template <> struct StrParser<List<CharRange>> {
  [[nodiscard]] static bool try_parse(StrView text, List<CharRange> &out);
};

/// Reads and checks every key of the settings file before anything is baked.
/// Throws Err for an unreadable file, "No value" for a missing key and
/// "Cannot parse string: " for a malformed one.
[[nodiscard]] Glyphmint read_settings(const Path &settings_file);
