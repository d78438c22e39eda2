// INI documents: parse the text, apply a few edits while a plain model
// follows along, check the text form byte for byte, and read that text back.
//
// Input layout: one byte with the number of edits (low three bits), each edit
// as an opcode byte, an index byte and a short text, then the document text.
//
// What the text form can carry: a section name without "]" or a line feed; a
// property name without "=" or a line feed, not ending in a space, and empty
// or starting with a byte that is neither blank nor "[" nor ";"; a value that
// neither starts nor ends with a blank and whose every line feed follows a
// backslash (a value ending in a backslash is written with one blank after
// it, so that its line feed ends it). A section with an empty name writes no header, so its
// properties read back as part of the section before it. Documents outside these rules are still
// written and read (for memory safety) but not compared.
#include "fuzz/fuzz-support.h"

#include "core/ini.h"

#include <strings.h>

#include <string>
#include <vector>

namespace {

struct Prop {
  int section;
  std::string name;
  std::string value;
};

/// The document as the public interface shows it, plus the array order of
/// the properties, which section removal depends on.
struct Model {
  std::vector<std::string> sections;
  std::vector<Prop> props;

  [[nodiscard]] std::vector<const Prop *> of(int section) const {
    std::vector<const Prop *> out;
    for (const Prop &p : props)
      if (p.section == section) out.push_back(&p);
    return out;
  }
  [[nodiscard]] Prop *nth(int section, int ordinal) {
    for (Prop &p : props)
      if (p.section == section && ordinal-- == 0) return &p;
    return nullptr;
  }
};

bool blank(char c) {
  return static_cast<signed char>(c) <= 0x20;
}

bool ci_equal(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || strncasecmp(a.data(), b.data(), a.size()) == 0);
}

std::string show(const Model &m) {
  std::string out;
  for (size_t s = 0; s < m.sections.size(); ++s) {
    out += "[" + fuzz::quote(m.sections[s]) + "]\n";
    for (const Prop *p : m.of(static_cast<int>(s)))
      out += "  " + fuzz::quote(p->name) + " = " + fuzz::quote(p->value) + "\n";
  }
  return out;
}

/// Reads the whole document through its public interface; the properties
/// come out grouped by section, which is their array order after a parse.
Model snapshot(const Ini &ini) {
  Model m;
  int index = 0;
  for (const IniSection section : ini) {
    FUZZ_CHECK(section.index == index, "section iteration out of order");
    m.sections.emplace_back(fuzz::sv(section.name()));
    int ordinal = 0;
    for (const IniProp prop : section) {
      FUZZ_CHECK(prop.section == index && prop.ordinal == ordinal, "property iteration order");
      m.props.push_back(
          {index, std::string(fuzz::sv(prop.name())), std::string(fuzz::sv(prop.value()))});
      ++ordinal;
    }
    ++index;
  }
  FUZZ_CHECK(index == ini.section_count(), "iteration and section_count disagree");
  return m;
}

/// Same sections, and per section the same properties in the same order.
bool same(const Model &a, const Model &b) {
  if (a.sections != b.sections) return false;
  for (size_t s = 0; s < a.sections.size(); ++s) {
    const auto pa = a.of(static_cast<int>(s)), pb = b.of(static_cast<int>(s));
    if (pa.size() != pb.size()) return false;
    for (size_t i = 0; i < pa.size(); ++i)
      if (pa[i]->name != pb[i]->name || pa[i]->value != pb[i]->value) return false;
  }
  return true;
}

void check_same(const Ini &ini, const Model &m, const std::string &what) {
  const Model got = snapshot(ini);
  FUZZ_CHECK(same(got, m), what + "\n--- document\n" + show(got) + "--- model\n" + show(m));
}

/// The text form, written independently from the model.
std::string render(const Model &m) {
  std::string out;
  for (size_t s = 0; s < m.sections.size(); ++s) {
    if (!m.sections[s].empty()) out += "[" + m.sections[s] + "]\n";
    for (const Prop *p : m.of(static_cast<int>(s))) {
      out += p->name + " = " + p->value;
      // A value ending in a backslash would otherwise carry the next line
      // into itself when read back; the blank is trimmed again on reading.
      if (!p->value.empty() && p->value.back() == '\\') out += ' ';
      out += "\n";
    }
    if (!out.empty()) out += "\n";
  }
  return out;
}

bool expressible_section(const std::string &name) {
  return name.find(']') == std::string::npos && name.find('\n') == std::string::npos;
}

bool expressible_name(const std::string &name) {
  if (name.empty()) return true;
  if (blank(name[0]) || name[0] == '[' || name[0] == ';') return false;
  if (name.back() == ' ') return false;
  return name.find('=') == std::string::npos && name.find('\n') == std::string::npos;
}

bool expressible_value(const std::string &value) {
  if (value.empty()) return true;
  if (blank(value.front()) || blank(value.back())) return false;
  for (size_t i = 0; i < value.size(); ++i)
    if (value[i] == '\n' && (i == 0 || value[i - 1] != '\\')) return false;
  return true;
}

bool expressible(const Model &m) {
  for (const auto &s : m.sections)
    if (!expressible_section(s)) return false;
  for (const Prop &p : m.props)
    if (!expressible_name(p.name) || !expressible_value(p.value)) return false;
  return true;
}

/// What reading the text form back gives: a fresh unnamed section first, and
/// the properties of every unnamed section joined to the section before it.
Model read_back(const Model &m) {
  Model out;
  out.sections.push_back("");
  for (size_t s = 0; s < m.sections.size(); ++s) {
    if (!m.sections[s].empty()) out.sections.push_back(m.sections[s]);
    const int into = static_cast<int>(out.sections.size()) - 1;
    for (const Prop *p : m.of(static_cast<int>(s))) out.props.push_back({into, p->name, p->value});
  }
  return out;
}

/// Removing section s: its properties are taken out from the last one back,
/// each hole filled by the record then last; the last section then moves
/// into slot s with its properties renumbered.
void model_remove_section(Model &m, int s) {
  for (size_t i = m.props.size(); i-- > 0;) {
    if (m.props[i].section != s) continue;
    m.props[i] = m.props.back();
    m.props.pop_back();
  }
  const int last = static_cast<int>(m.sections.size()) - 1;
  m.sections[static_cast<size_t>(s)] = m.sections.back();
  m.sections.pop_back();
  for (Prop &p : m.props)
    if (p.section == last) p.section = s;
}

void apply_edit(fuzz::Reader &in, Ini &ini, Model &m) {
  const u8 op = in.byte();
  const u8 pick = in.byte();
  const std::string text = in.short_text();
  const int sections = static_cast<int>(m.sections.size());
  // Indexes one past the end and a negative one reach the "does not resolve" paths.
  const int section = static_cast<int>(pick % (sections + 2)) - 1;
  const int ordinal = (pick >> 4) % 8 - 1;
  const bool resolves = section >= 0 && section < sections;
  Prop *prop = resolves ? m.nth(section, ordinal) : nullptr;
  IniSection sh(ini.doc, section);
  IniProp ph(ini.doc, section, ordinal);

  switch (op % 9) {
  case 0:
    // Every empty view has a null pointer, so an empty text must still
    // count as a name: it is how a section loses its header.
    sh.set_name(fuzz::view(text));
    if (resolves) m.sections[static_cast<size_t>(section)] = text;
    break;
  case 1:
    ph.set_name(fuzz::view(text));
    if (prop != nullptr) prop->name = text;
    break;
  case 2:
    ph.set_value(fuzz::view(text));
    if (prop != nullptr) prop->value = text;
    break;
  case 3:
    ph.remove();
    FUZZ_CHECK(!ph, "a removed property handle stays non-null");
    if (prop != nullptr) m.props.erase(m.props.begin() + (prop - m.props.data()));
    break;
  case 4:
    if (!resolves) break; // removing an unresolved section is not defined
    sh.remove();
    FUZZ_CHECK(!sh, "a removed section handle stays non-null");
    model_remove_section(m, section);
    break;
  case 5: {
    // Lookups: the first match ignoring case, whole names only; the empty
    // name finds the first unnamed section.
    const IniSection found = ini[fuzz::view(text)];
    int want = -1;
    for (int s = 0; s < sections && want < 0; ++s)
      if (ci_equal(m.sections[static_cast<size_t>(s)], text)) want = s;
    FUZZ_CHECK(want < 0 ? !found : (found && found.index == want),
               "section lookup " + fuzz::quote(text));
    break;
  }
  case 6: {
    if (!resolves) break;
    const IniProp found = sh[fuzz::view(text)];
    int want = -1, ordinal_at = 0;
    for (const Prop *p : m.of(section)) {
      if (ci_equal(p->name, text)) {
        want = ordinal_at;
        break;
      }
      ++ordinal_at;
    }
    FUZZ_CHECK(want < 0 ? !found : (found && found.ordinal == want && found.section == section),
               "property lookup " + fuzz::quote(text));
    break;
  }
  case 7: {
    // A deep copy shares nothing: editing it leaves the original alone.
    Ini copy(ini);
    check_same(copy, m, "copy");
    IniProp(copy.doc, 0, 0).set_value(StrView("changed in the copy only"));
    break;
  }
  case 8: {
    Ini moved(std::move(ini));
    FUZZ_CHECK(ini.doc == nullptr && ini.section_count() == 0, "moved-from Ini keeps a document");
    FUZZ_CHECK(ini.to_str().len == 0, "moved-from Ini has a text form");
    ini = std::move(moved);
    break;
  }
  }
  check_same(ini, m,
             "after edit " + std::to_string(op % 9) + " at " + std::to_string(section) + "/" +
                 std::to_string(ordinal) + " with " + fuzz::quote(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  fuzz::Reader in(data, size);
  const int edits = in.byte() & 7;
  // The edits come first so that the document text can run to the end.
  std::string ops;
  for (int i = 0; i < edits; ++i) {
    ops += static_cast<char>(in.byte());
    ops += static_cast<char>(in.byte());
    const std::string t = in.short_text();
    ops += static_cast<char>(t.size());
    ops += t;
  }
  const std::string text = in.rest();

  Ini ini = Ini::parse(fuzz::view(text));
  FUZZ_CHECK(ini.section_count() >= 1, "parse gave no global section");
  FUZZ_CHECK(ini[0ul].name().len == 0, "the global section has a name");
  Model m = snapshot(ini);

  fuzz::Reader op_in(reinterpret_cast<const u8 *>(ops.data()), ops.size());
  for (int i = 0; i < edits; ++i) apply_edit(op_in, ini, m);

  const Str out = ini.to_str();
  const std::string written(fuzz::sv(out.view()));
  FUZZ_CHECK(written == render(m), "text form\n--- got\n" + fuzz::quote(written) + "\n--- want\n" +
                                       fuzz::quote(render(m)));

  const Ini again = Ini::parse(out.view());
  if (expressible(m)) {
    const Model want = read_back(m);
    const Model got = snapshot(again);
    FUZZ_CHECK(same(got, want), "read back\n--- text\n" + fuzz::quote(written) + "\n--- got\n" +
                                    show(got) + "--- want\n" + show(want));
  }
  return 0;
}
