// Sets of code points as sorted runs, and the texts charset prints from them.
// Runs keep a request as wide as [0-2147483647] to one entry instead of two
// billion; a set may hold values above U+10FFFF, which are no code points but
// can still be asked for.
#pragma once

#include "core/str.h"

#include <vector>

/// The last Unicode code point.
constexpr u32 k_last_code_point = 0x10FFFF;

/// One inclusive run of code points, first <= last.
struct CodePointRun {
  u32 first = 0;
  u32 last = 0;
};

struct CodePointSet {
  /// Ascending, disjoint and never touching: a gap of at least one value
  /// separates neighbouring runs.
  std::vector<CodePointRun> runs;

  /// Adds first..last (first <= last). Cheap when nothing held lies beyond
  /// first, as when values come in ascending order; any order is correct.
  void add(u32 first, u32 last);
  /// Adds every value of the other set.
  void unite(const CodePointSet &other);

  [[nodiscard]] bool empty() const { return runs.empty(); }
  /// How many values the set holds.
  [[nodiscard]] u64 count() const;
};

/// Adds the code points of a list in the settings grammar, such as
/// "[32-126, 880-1023]"; false when the text is no such list. Empty ranges
/// add nothing, as the baker bakes nothing for them.
[[nodiscard]] bool try_add_code_point_ranges(StrView list, CodePointSet &set);

/// The two settings lines for the set: runs of three or more go to ranges as
/// "first-last", shorter ones to chars, in the baker's list grammar:
///   {32..126, 908, 910..911} => "ranges = [32-126]\nchars = [908, 910, 911]\n"
///   {}                       => "ranges = []\nchars = []\n"
[[nodiscard]] Str settings_lines(const CodePointSet &set);

/// The runs with at least four upper-case hex digits each:
///   {888..889, 128512} => "U+0378-U+0379, U+1F600"
[[nodiscard]] Str code_point_runs_text(const CodePointSet &set);
