#include "shared/code-point-lists.h"

namespace {

template <typename T, typename ParseItem>
bool parse_list(StrView text, List<T> &out, ParseItem parse_item) {
  if (!text.starts_with('[')) return false;
  StrView rest = text.sub(1, StrView::npos);
  if (rest.empty()) return false;
  if (rest.starts_with(']')) return rest == StrView("]");
  const StrView separator(", ");
  while (true) {
    const u64 at = rest.find(separator);
    StrView item;
    if (at != StrView::npos) {
      item = rest.sub(0, at);
      rest = rest.sub(at + separator.len, StrView::npos);
    } else {
      // Without a separator the last character must be the closing bracket.
      item = rest.sub(0, rest.len - 1);
      rest = rest.sub(rest.len - 1, 1);
    }
    T value;
    if (!parse_item(item, value)) return false;
    out.append(value);
    if (rest.empty()) return false;
    if (rest.starts_with(']')) return rest == StrView("]");
  }
}

bool parse_range(StrView item, CharRange &out) {
  const u64 dash = item.find('-');
  if (dash == StrView::npos) return false;
  CharRange range;
  if (!StrParser<int>::try_parse(item.sub(0, dash), range.first)) return false;
  if (!StrParser<int>::try_parse(item.sub(dash + 1, StrView::npos), range.last)) return false;
  out = range;
  return true;
}

} // namespace

bool StrParser<List<int>>::try_parse(StrView text, List<int> &out) {
  return parse_list(text, out,
                    [](StrView item, int &v) { return StrParser<int>::try_parse(item, v); });
}

bool StrParser<List<CharRange>>::try_parse(StrView text, List<CharRange> &out) {
  return parse_list(text, out, parse_range);
}
