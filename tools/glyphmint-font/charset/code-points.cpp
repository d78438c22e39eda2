#include "tools/glyphmint-font/charset/code-points.h"

#include "core/fmt.h"
#include "shared/code-point-lists.h"

#include <algorithm>

void CodePointSet::add(u32 first, u32 last) {
  if (runs.empty() || u64{first} > u64{runs.back().last} + 1) {
    runs.push_back({first, last});
    return;
  }
  if (first >= runs.back().first) {
    runs.back().last = std::max(runs.back().last, last);
    return;
  }
  CodePointSet one;
  one.runs.push_back({first, last});
  unite(one);
}

void CodePointSet::unite(const CodePointSet &other) {
  std::vector<CodePointRun> merged;
  merged.reserve(runs.size() + other.runs.size());
  auto a = runs.begin();
  auto b = other.runs.begin();
  while (a != runs.end() || b != other.runs.end()) {
    const bool take_a = b == other.runs.end() || (a != runs.end() && a->first <= b->first);
    const CodePointRun next = take_a ? *a++ : *b++;
    if (!merged.empty() && u64{next.first} <= u64{merged.back().last} + 1)
      merged.back().last = std::max(merged.back().last, next.last);
    else
      merged.push_back(next);
  }
  runs = std::move(merged);
}

u64 CodePointSet::count() const {
  u64 n = 0;
  for (const CodePointRun &r : runs) n += u64{r.last} - r.first + 1;
  return n;
}

bool try_add_code_point_ranges(StrView list, CodePointSet &set) {
  List<CharRange> ranges;
  if (!StrParser<List<CharRange>>::try_parse(list, ranges)) return false;
  for (const CharRange &r : ranges) {
    // The grammar gives no negative first.
    if (r.first < 0 || r.first > r.last) continue;
    set.add(u32(r.first), u32(r.last));
  }
  return true;
}

Str settings_lines(const CodePointSet &set) {
  StrBuilder ranges;
  StrBuilder chars;
  const auto item = [](StrBuilder &list) {
    if (list.len != 0) list.append(", ");
  };
  for (const CodePointRun &r : set.runs) {
    if (r.last - r.first >= 2) {
      item(ranges);
      fmt(ranges, r.first, '-', r.last);
      continue;
    }
    for (u64 c = r.first; c <= r.last; ++c) {
      item(chars);
      fmt(chars, c);
    }
  }
  return fmt("ranges = [", ranges.view(), "]\nchars = [", chars.view(), "]\n");
}

Str code_point_runs_text(const CodePointSet &set) {
  StrBuilder text;
  for (const CodePointRun &r : set.runs) {
    if (text.len != 0) text.append(", ");
    text.appendf("U+%04X", r.first);
    if (r.last != r.first) text.appendf("-U+%04X", r.last);
  }
  return text.to_string();
}
