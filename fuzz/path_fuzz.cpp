// Path text operations against a model written from their descriptions, plus
// the invariants that tie them together: the normal form is idempotent, the
// components rejoin to the normalised text, and relative_to followed by a
// join gives the path back. The input is split at line feeds into paths.
#include "fuzz/fuzz-support.h"

#include "core/fs.h"

#include <string>
#include <vector>

namespace {

constexpr size_t k_max_parts = 64;
constexpr u64 k_component_limit = 48;

bool sep(char c) {
  return c == '/' || c == '\\';
}

std::string model_normalize(std::string_view s) {
  std::string out;
  bool last_sep = false;
  for (char c : s) {
    if (c == '\\') c = '/';
    if (c == '/' && last_sep) continue;
    out += c;
    last_sep = c == '/';
  }
  if (out.size() >= 2 && out.back() == '/') out.pop_back();
  return out;
}

bool normal_form(std::string_view s) {
  if (s == "/") return true;
  if (s.find('\\') != std::string_view::npos) return false;
  if (s.find("//") != std::string_view::npos) return false;
  return s.empty() || s.back() != '/';
}

std::vector<std::string_view> model_components(std::string_view s) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == '/') ++i;
    size_t j = i;
    while (j < s.size() && s[j] != '/') ++j;
    if (j > i) out.push_back(s.substr(i, j - i));
    i = j;
  }
  return out;
}

bool in_text(StrView v, const Path &p) {
  if (v.len == 0) return true;
  return v.data >= p.text.data && v.data + v.len <= p.text.data + p.text.len;
}

void check_one(const std::string &t) {
  const Path p{fuzz::view(t)};
  const auto q = [&] { return std::string(fuzz::quote(t)); };
  FUZZ_CHECK(fuzz::sv(p.view()) == t, "construction changed " + q());

  // Normal form.
  const Path n = p.normalized();
  const std::string ns(fuzz::sv(n.view()));
  FUZZ_CHECK(ns == model_normalize(t), "normalized " + q() + " gave " + fuzz::quote(ns));
  FUZZ_CHECK(normal_form(ns), "not in normal form: " + fuzz::quote(ns));
  FUZZ_CHECK(n.normalized() == n, "normal form not idempotent for " + q());
  Path in_place = p;
  in_place.normalize();
  FUZZ_CHECK(in_place == n, "normalize and normalized differ for " + q());

  // Separators, parent.
  size_t seps = 0;
  size_t last = std::string::npos;
  for (size_t i = 0; i < t.size(); ++i)
    if (sep(t[i])) ++seps, last = i;
  FUZZ_CHECK(p.has_parent() == (seps >= 2), "has_parent " + q());
  const std::string parent = last == std::string::npos ? "" : t.substr(0, last);
  FUZZ_CHECK(fuzz::sv(p.parent().view()) == parent, "parent " + q());

  // Components of the raw text and of the normal form.
  const auto comps = model_components(t);
  FUZZ_CHECK(p.components_count() == comps.size(), "components_count " + q());
  std::vector<StrView> got(comps.size() + 2);
  const u64 written = p.get_components({got.data(), got.size()});
  FUZZ_CHECK(written == comps.size(), "get_components count " + q());
  for (size_t i = 0; i < comps.size(); ++i) {
    FUZZ_CHECK(fuzz::sv(got[i]) == comps[i], "component " + std::to_string(i) + " of " + q());
    FUZZ_CHECK(in_text(got[i], p), "component outside the text of " + q());
  }
  if (comps.size() >= 2) {
    StrView small[1];
    FUZZ_CHECK(p.get_components(small) == 1 && fuzz::sv(small[0]) == comps[0],
               "get_components past a full array for " + q());
  }
  const auto ncomps = model_components(ns);
  FUZZ_CHECK(n.components_count() == ncomps.size(), "components_count of normal form " + q());
  std::string rejoined = !ns.empty() && ns[0] == '/' ? "/" : "";
  for (size_t i = 0; i < ncomps.size(); ++i) rejoined += (i ? "/" : "") + std::string(ncomps[i]);
  FUZZ_CHECK(rejoined == ns, "components of " + q() + " rejoin to " + fuzz::quote(rejoined));

  // Name and extension: views into the text, the name split at its first dot.
  const size_t slash = t.rfind('/');
  const std::string name = slash == std::string::npos ? t : t.substr(slash + 1);
  const size_t dot = name.find('.');
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  FUZZ_CHECK(fuzz::sv(p.name()) == name && in_text(p.name(), p), "name " + q());
  FUZZ_CHECK(fuzz::sv(p.ext()) == ext && in_text(p.ext(), p), "ext " + q());
  FUZZ_CHECK(fuzz::sv(p.name_without_ext()) == name.substr(0, name.size() - ext.size()) &&
                 in_text(p.name_without_ext(), p),
             "name_without_ext " + q());
  const std::string stem = t.substr(0, t.size() - ext.size());
  FUZZ_CHECK(fuzz::sv(p.with_ext(StrView(".png")).view()) == stem + ".png", "with_ext " + q());
}

void check_pair(const std::string &a, const std::string &b) {
  const auto where = [&] { return std::string(fuzz::quote(a) + ", " + fuzz::quote(b)); };
  const Path j = Path::join(fuzz::view(a), fuzz::view(b));
  const std::string want = a.empty() ? b : model_normalize(a + "/" + b);
  FUZZ_CHECK(fuzz::sv(j.view()) == want,
             "join " + where() + " gave " + fuzz::quote(fuzz::sv(j.view())));
  const Path j3 = Path::join(fuzz::view(a), StrView(), fuzz::view(b));
  const std::string want3 = a.empty() ? b : model_normalize(a + "//" + b);
  FUZZ_CHECK(fuzz::sv(j3.view()) == want3, "three-part join " + where());

  const Path pa{fuzz::view(a)}, pb{fuzz::view(b)};
  const auto ca = model_components(a), cb = model_components(b);
  if (ca.size() > k_component_limit || cb.size() > k_component_limit) {
    // The first path counted is the receiver, so its text is the one named.
    const std::string &named = ca.size() > k_component_limit ? a : b;
    try {
      (void)pa.relative_to(pb);
      FUZZ_CHECK(false, "relative_to did not throw for " + where());
    } catch (const Err &e) {
      FUZZ_CHECK(fuzz::sv(e.message.view()) == "Too many path components: " + named,
                 "relative_to message " + fuzz::quote(fuzz::sv(e.message.view())));
    }
    return;
  }
  const Path r = pa.relative_to(pb);
  const std::string rs(fuzz::sv(r.view()));
  size_t k = 0;
  while (k < ca.size() && k < cb.size() && ca[k] == cb[k]) ++k;
  std::string want_r;
  for (size_t i = k; i < cb.size(); ++i) want_r += "../";
  for (size_t i = k; i < ca.size(); ++i) want_r += std::string(ca[i]) + "/";
  FUZZ_CHECK(rs == model_normalize(want_r), "relative_to " + where() + " gave " + fuzz::quote(rs));

  // From an absolute normalised base, walking the relative path lands on the
  // path again, as long as neither spells "." or ".." itself.
  const auto plain = [](const std::vector<std::string_view> &c) {
    for (const auto s : c)
      if (s == "." || s == "..") return false;
    return true;
  };
  if (!a.empty() && a[0] == '/' && !b.empty() && b[0] == '/' && normal_form(a) && normal_form(b) &&
      plain(ca) && plain(cb)) {
    std::vector<std::string> at(cb.begin(), cb.end());
    for (const auto c : model_components(rs)) {
      if (c == "..") {
        FUZZ_CHECK(!at.empty(), "relative_to climbs above the root for " + where());
        at.pop_back();
      } else {
        at.emplace_back(c);
      }
    }
    std::string back;
    for (const auto &c : at) back += "/" + c;
    if (back.empty()) back = "/";
    const Path joined = Path::join(fuzz::view(b), r.view());
    FUZZ_CHECK(back == a, "walking " + fuzz::quote(rs) + " from " + fuzz::quote(b) + " reaches " +
                              fuzz::quote(back));
    FUZZ_CHECK(model_components(fuzz::sv(joined.view())).size() ==
                   cb.size() + model_components(rs).size(),
               "join of base and relative path " + where());
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  std::vector<std::string> parts;
  std::string cur;
  for (size_t i = 0; i < size && parts.size() < k_max_parts; ++i) {
    if (data[i] == '\n') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(data[i]);
    }
  }
  if (parts.size() < k_max_parts) parts.push_back(cur);

  for (const auto &t : parts) check_one(t);
  for (size_t i = 0; i + 1 < parts.size(); ++i) check_pair(parts[i], parts[i + 1]);
  if (parts.size() == 1) check_pair(parts[0], parts[0]);

  // The list join: every part followed by '/', then normalised.
  std::vector<StrView> views;
  std::string concat;
  for (const auto &t : parts) {
    views.push_back(fuzz::view(t));
    concat += t + "/";
  }
  const Path lj = Path::join(ArrView<StrView>{views.data(), views.size()});
  FUZZ_CHECK(fuzz::sv(lj.view()) == model_normalize(concat), "list join");
  return 0;
}
