// The settings list grammar ("[16, 24]", "[32-126, 160-255]") against a model
// that reads it the other way round: strip the brackets and one optional
// trailing ", ", split at every ", ", and parse each item.
#include "fuzz/fuzz-support.h"

#include "core/fmt.h"
#include "shared/code-point-lists.h"

#include <string>
#include <vector>

namespace {

/// The items of a list text, or false when the frame is wrong.
bool model_items(std::string_view s, std::vector<std::string_view> &items) {
  items.clear();
  if (s.size() < 2 || s.front() != '[' || s.back() != ']') return false;
  std::string_view inner = s.substr(1, s.size() - 2);
  if (inner.empty()) return true;
  if (inner.size() >= 2 && inner.substr(inner.size() - 2) == ", ") inner.remove_suffix(2);
  while (true) {
    const size_t at = inner.find(", ");
    items.push_back(inner.substr(0, at));
    if (at == std::string_view::npos) return true;
    inner.remove_prefix(at + 2);
  }
}

bool model_ints(std::string_view s, std::vector<int> &out) {
  std::vector<std::string_view> items;
  if (!model_items(s, items)) return false;
  for (const auto item : items) {
    int v = 0;
    if (!fuzz::model_int<int>(item, v)) return false;
    out.push_back(v);
  }
  return true;
}

bool model_ranges(std::string_view s, std::vector<CharRange> &out) {
  std::vector<std::string_view> items;
  if (!model_items(s, items)) return false;
  for (const auto item : items) {
    const size_t dash = item.find('-');
    if (dash == std::string_view::npos) return false;
    CharRange r;
    if (!fuzz::model_int<int>(item.substr(0, dash), r.first)) return false;
    if (!fuzz::model_int<int>(item.substr(dash + 1), r.last)) return false;
    out.push_back(r);
  }
  return true;
}

template <typename T> std::string show(const T &v) {
  if constexpr (std::is_same_v<T, CharRange>)
    return std::to_string(v.first) + "-" + std::to_string(v.last);
  else
    return std::to_string(v);
}

template <typename T> bool same(const T &a, const T &b) {
  if constexpr (std::is_same_v<T, CharRange>)
    return a.first == b.first && a.last == b.last;
  else
    return a == b;
}

template <typename T, typename Model>
void check_list(const std::string &text, const T &sentinel, Model model, const char *type) {
  // Parsing appends: an element already in the list must stay first.
  List<T> got;
  got.append(sentinel);
  const bool ok = StrParser<List<T>>::try_parse(fuzz::view(text), got);
  std::vector<T> want;
  const bool want_ok = model(text, want);
  const auto where = [&] { return std::string(type) + " " + fuzz::quote(text); };
  FUZZ_CHECK(ok == want_ok, where() + (ok ? " accepted" : " rejected"));
  FUZZ_CHECK(got.count >= 1 && same(*got.begin(), sentinel), where() + " lost the first element");
  if (ok) {
    std::vector<T> values;
    bool first = true;
    for (const T &v : got) {
      if (!first) values.push_back(v);
      first = false;
    }
    FUZZ_CHECK(got.count == want.size() + 1, where() + " count " + std::to_string(got.count - 1) +
                                                 ", model " + std::to_string(want.size()));
    for (size_t i = 0; i < want.size(); ++i)
      FUZZ_CHECK(same(values[i], want[i]), where() + " item " + std::to_string(i) + " " +
                                               show(values[i]) + ", model " + show(want[i]));
  } else {
    try {
      List<T> out;
      parse_str<List<T>>(fuzz::view(text), out);
      FUZZ_CHECK(false, where() + " parse_str did not throw");
    } catch (const Err &e) {
      FUZZ_CHECK(fuzz::sv(e.message.view()) == "Cannot parse string: " + text,
                 where() + " message " + fuzz::quote(fuzz::sv(e.message.view())));
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  check_list<int>(text, -77, model_ints, "List<int>");
  check_list<CharRange>(text, CharRange{-7, -8}, model_ranges, "List<CharRange>");
  return 0;
}
