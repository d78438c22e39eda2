// The settings files' list grammar, which both programs read: the baker its
// "sizes", "ranges" and "chars", glyphmint-font charset its --ranges, so a
// list one accepts the other reads alike. Items are separated by exactly
// ", " (comma and one blank); one trailing ", " before "]" is allowed.
// Lists of file names are looser, since people type paths by hand.
#pragma once

#include "core/fmt.h"
#include "core/list.h"
#include "core/str.h"

/// One inclusive range of code points; first > last is legal and empty.
struct CharRange {
  i32 first = 0;
  i32 last = 0;
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

/// "[Icons.ttf, CJK.ttc]": file names split at every comma, the blanks around
/// each trimmed, so "[ a.ttf,b.ttf ]" reads alike; "[]" and "[ ]" are empty,
/// one trailing comma is allowed and any other empty item fails. A name
/// cannot hold a comma or a bracket.
template <> struct StrParser<List<Str>> {
  [[nodiscard]] static bool try_parse(StrView text, List<Str> &out);
};
