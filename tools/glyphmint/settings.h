// The settings of one *.glyphmint.ini file: which font to bake, at which pixel
// sizes, and which code points. The keys "path", "sizes", "ranges" and "chars"
// are read from the properties before the first section header only, and the
// list values follow the strict grammar of shared/code-point-lists.h.
#pragma once

#include "core/fs.h"
#include "core/list.h"
#include "shared/code-point-lists.h"

/// The settings record of one file.
struct Glyphmint {
  /// The value of "path" joined below the settings file's directory.
  Path font;
  List<int> sizes;
  List<CharRange> ranges;
  List<int> chars;
};

/// Reads and checks every key of the settings file before anything is baked.
/// Throws Err for an unreadable file, "No value" for a missing key and
/// "Cannot parse string: " for a malformed one.
[[nodiscard]] Glyphmint read_settings(const Path &settings_file);
