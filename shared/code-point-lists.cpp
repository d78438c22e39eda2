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

bool StrParser<List<Str>>::try_parse(StrView text, List<Str> &out) {
  if (text.len < 2 || !text.starts_with('[') || !text.ends_with(']')) return false;
  StrView rest = text.sub(1, text.len - 2);
  if (rest.trim().empty()) return true;
  while (true) {
    const u64 comma = rest.find(',');
    const bool last = comma == StrView::npos;
    const StrView item = (last ? rest : rest.sub(0, comma)).trim();
    // An empty last item is the blank after a trailing comma.
    if (item.empty()) return last;
    if (item.find('[') != StrView::npos || item.find(']') != StrView::npos) return false;
    out.append(Str(item));
    if (last) return true;
    rest = rest.sub(comma + 1, StrView::npos);
  }
}
