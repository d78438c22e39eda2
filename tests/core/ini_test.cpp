#include "core/ini.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace {

StrView sv(const std::string &s) {
  return {s.data(), s.size()};
}

std::string str(StrView v) {
  return v.len == 0 ? std::string() : std::string(v.data, v.len);
}

// Control and non-ASCII bytes spelled out, so a failing row shows what was stored.
std::string escaped(StrView v) {
  std::string out;
  for (u64 i = 0; i < v.len; ++i) {
    const auto c = static_cast<unsigned char>(v[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Every section in index order with its properties in iteration order:
//   [] {a=1} [s] {b=2}
std::string describe(const Ini &doc) {
  std::string out;
  for (IniSection s : doc) {
    out += "[" + escaped(s.name()) + "] {";
    bool first = true;
    for (IniProp p : s) {
      if (!first) out += ", ";
      first = false;
      out += escaped(p.name()) + "=" + escaped(p.value());
    }
    out += "} ";
  }
  if (!out.empty()) out.pop_back();
  return out;
}

// Parsed from a block of exactly the text's length, so AddressSanitizer
// reports any read past the end of the text.
Ini parse_exact(const std::string &text) {
  const Str copy(text.data(), text.size());
  return Ini::parse(copy);
}

TEST(Ini, ParsesByteRules) {
  struct Row {
    const char *text;
    const char *expected;
  };
  const Row rows[] = {
      {"", "[] {}"},
      {" \n\t\n", "[] {}"},
      {"a = 1", "[] {a=1}"},
      {"  Key\t = \tvalue words  ", "[] {Key\\t=value words}"},
      {"a =\nb = 2", "[] {a=, b=2}"},
      {"a = \t \nb = 2", "[] {a=, b=2}"},
      {"a =   ", "[] {a=}"},
      {"a = x\\\n  y\nb = 2", "[] {a=x\\\\n  y, b=2}"},
      {"a = x\\", "[] {a=x\\}"},
      {"[s] k = v\nm = w", "[] {} [s] {k=v, m=w}"},
      {"[s\na = 1", "[] {a=1}"},
      {"a = 1\n[s", "[] {a=1}"},
      {"[", "[] {}"},
      {"[ s ]\n[]x=1", "[] {} [ s ] {} [] {x=1}"},
      {"\xEF\xBB\xBF"
       "a = 1",
       "[] {a=1}"},
      {"# note\n#k = v", "[] {#k=v}"},
      {"; c = 1\n  ; d = 2\na = 1 ; kept", "[] {a=1 ; kept}"},
      {"just words\n=v", "[] {=v}"},
      {"a = 1\r\nb = 2\r\n", "[] {a=1, b=2}"},
      {"a = 1\n[s]\nb = 2\n[S]\nb = 3\na = 4", "[] {a=1} [s] {b=2} [S] {b=3, a=4}"},
      {"a = x = y", "[] {a=x = y}"},
      // Non-ASCII bytes at the edges of a value are text, not blanks: trimming
      // them cut "café" to "caf" and dropped the "É" from the front of a path.
      {"p = \xC3\x89t\xC3\xA9", "[] {p=\\xC3\\x89t\\xC3\\xA9}"},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(describe(parse_exact(row.text)), row.expected) << "text: " << escaped(row.text);
  }
}

TEST(Ini, LookupsIgnoreCaseButNotLength) {
  const Ini doc = parse_exact("Sizes = 1\n=empty\n[Glyph]\nk = 2\n[glyph]\nk = 3");
  const IniSection global = doc[0ul];
  EXPECT_EQ(str(global["sizes"].value()), "1");
  EXPECT_EQ(str(global["SIZES"].value()), "1");
  EXPECT_FALSE(global["size"]);
  EXPECT_FALSE(global["sizess"]);
  EXPECT_EQ(str(global[""].value()), "empty");
  EXPECT_EQ(doc["GLYPH"].index, 1);
  EXPECT_FALSE(doc["glyp"]);
  EXPECT_EQ(doc[""].index, 0);
  EXPECT_FALSE(Ini()["glyph"]);
}

TEST(Ini, NullAndStaleHandlesReadEmptyAndIgnoreEdits) {
  Ini doc = parse_exact("a = 1\n[s]\nb = 2");
  IniSection beyond = doc[2ul];
  EXPECT_TRUE(beyond);
  EXPECT_EQ(beyond.name().data, nullptr);
  EXPECT_FALSE(beyond["b"]);
  EXPECT_EQ(beyond.begin(), beyond.end());
  beyond.set_name("x");
  beyond.remove();
  EXPECT_FALSE(beyond);
  EXPECT_EQ(IniSection().begin(), IniSection().end());
  EXPECT_EQ(doc[1ul << 32].name().data, nullptr) << "a wrapped index found a section";

  IniProp stale(doc.doc, 1, 5);
  stale.set_value("x");
  stale.set_name("x");
  EXPECT_EQ(stale.value().data, nullptr);
  stale.remove();
  EXPECT_FALSE(stale);

  IniSection::Iterator end;
  ++end;
  EXPECT_EQ(end, IniSection::Iterator());
  EXPECT_EQ(describe(doc), "[] {a=1} [s] {b=2}");
}

TEST(Ini, TypedValueReportsMissingAndBadText) {
  const Ini doc = parse_exact("n = 42\nbad = abc");
  EXPECT_EQ(doc[0ul]["n"].value<int>(), 42);
  try {
    (void)doc[0ul]["missing"].value<int>();
    FAIL() << "no Err for a missing key";
  } catch (const Err &e) {
    EXPECT_EQ(str(e.message), "No value");
  }
  try {
    (void)doc[0ul]["bad"].value<int>();
    FAIL() << "no Err for bad text";
  } catch (const Err &e) {
    EXPECT_EQ(str(e.message), "Cannot parse string: abc");
  }
}

TEST(Ini, TextFormWritesHeadersAndBlankLines) {
  EXPECT_EQ(str(Ini().to_str()), "");
  EXPECT_EQ(str(Ini::create().to_str()), "");
  EXPECT_EQ(str(parse_exact("a=1\n[s]\nb=2").to_str()), "a = 1\n\n[s]\nb = 2\n\n");
  EXPECT_EQ(str(parse_exact("[s]\nb=2\n[t]").to_str()), "[s]\nb = 2\n\n[t]\n\n");
  EXPECT_EQ(str(parse_exact("a=1\n[]\nb=2").to_str()), "a = 1\n\nb = 2\n\n");
}

// A value ending in a backslash used to be written right before its line feed,
// so reading the text back swallowed the next property into it.
TEST(Ini, ValueEndingInBackslashReadsBackAlone) {
  Ini doc = Ini::parse("k = x\nj = 1\n");
  doc[0ul]["k"].set_value("a\\");
  const Str text = doc.to_str();
  EXPECT_EQ(str(text), "k = a\\ \nj = 1\n\n");
  const Ini again = Ini::parse(text);
  EXPECT_EQ(str(Str(again[0ul]["k"].value())), "a\\");
  EXPECT_EQ(str(Str(again[0ul]["j"].value())), "1");
}

TEST(Ini, LongTextsMoveBetweenBufferAndBlock) {
  const std::string n32(32, 'n'), n33(33, 'N'), v64(64, 'v'), v65(65, 'V');
  Ini doc = parse_exact("[" + n33 + "]\n" + n32 + " = " + v64 + "\n" + n33 + " = " + v65);
  const ini_prop_t *p = doc.doc->props;
  EXPECT_NE(doc.doc->sections[1].name_heap, nullptr);
  EXPECT_EQ(p[0].name_heap, nullptr);
  EXPECT_EQ(p[0].value_heap, nullptr);
  EXPECT_NE(p[1].name_heap, nullptr);
  EXPECT_NE(p[1].value_heap, nullptr);
  const Ini back = Ini::parse(doc.to_str());
  EXPECT_EQ(describe(back), describe(doc));
  EXPECT_EQ(str(back[sv(n33)][sv(n33)].value()), v65);

  // Each edit may take its text from the very storage it replaces.
  IniProp q = doc[1ul][sv(n32)];
  q.set_value(q.value());
  EXPECT_EQ(str(q.value()), v64);
  q.set_value(q.value().sub(1, StrView::npos));
  EXPECT_EQ(str(q.value()), v64.substr(1));
  IniProp r = doc[1ul][sv(n33)];
  r.set_value(r.value());
  EXPECT_EQ(str(r.value()), v65);
  r.set_value(r.value().sub(0, 10));
  EXPECT_EQ(str(r.value()), v65.substr(0, 10));
  r.set_name(r.name());
  EXPECT_EQ(str(r.name()), n33);
  IniSection s = doc[1ul];
  s.set_name(s.name().sub(1, 5));
  EXPECT_EQ(str(s.name()), n33.substr(1, 5));
  r.set_value("");
  EXPECT_EQ(r.value().len, 0u) << "an empty text must clear the value";
}

TEST(Ini, ArraysDoubleWhenFull) {
  std::string text;
  for (int i = 0; i < 17; ++i) text += "k" + std::to_string(i) + " = " + std::to_string(i) + "\n";
  for (int i = 0; i < 16; ++i) text += "[s" + std::to_string(i) + "]\n";
  Ini doc = parse_exact(text);
  EXPECT_EQ(doc.section_count(), 17);
  EXPECT_EQ(doc.doc->section_capacity, 32);
  EXPECT_EQ(doc.doc->prop_count, 17);
  EXPECT_EQ(doc.doc->prop_capacity, 32);
  EXPECT_EQ(str(doc[0ul]["k16"].value()), "16");
  EXPECT_EQ(str(doc[16ul].name()), "s15");
}

TEST(Ini, RemovingPropertyKeepsOrder) {
  Ini doc = parse_exact("a=1\n[s]\nb=2\n[t]\nc=3\nd=4\ne=5");
  IniProp d = doc["t"]["d"];
  d.remove();
  EXPECT_FALSE(d);
  EXPECT_EQ(describe(doc), "[] {a=1} [s] {b=2} [t] {c=3, e=5}");
  EXPECT_EQ(str(doc.to_str()), "a = 1\n\n[s]\nb = 2\n\n[t]\nc = 3\ne = 5\n\n");
}

TEST(Ini, RemovingSectionMovesLastIntoItsSlot) {
  struct Row {
    unsigned long index;
    const char *expected;
  };
  const char *text = "g=0\n[s]\na=1\nb=2\n[t]\nc=3\nd=4\n[u]\ne=5\nf=6";
  const Row rows[] = {
      // Freed records are refilled from the end of the array, so u's records
      // change places; here twice, which restores their order.
      {1, "[] {g=0} [u] {e=5, f=6} [t] {c=3, d=4}"},
      {3, "[] {g=0} [s] {a=1, b=2} [t] {c=3, d=4}"},
      {0, "[u] {f=6, e=5} [s] {a=1, b=2} [t] {c=3, d=4}"},
  };
  for (const Row &row : rows) {
    Ini doc = parse_exact(text);
    IniSection s = doc[row.index];
    s.remove();
    EXPECT_FALSE(s);
    EXPECT_EQ(describe(doc), row.expected) << "removed index " << row.index;
  }
  Ini single = Ini::create();
  single[0ul].remove();
  EXPECT_EQ(single.section_count(), 0);
  EXPECT_EQ(single.begin(), single.end());
}

TEST(Ini, CopiesAreDeepAndMovesEmptyTheSource) {
  Ini a = parse_exact("k = " + std::string(80, 'x') + "\n[" + std::string(40, 's') + "]");
  Ini b = a;
  b[0ul]["k"].set_value("short");
  EXPECT_EQ(a[0ul]["k"].value().len, 80u);
  EXPECT_EQ(b.doc->prop_capacity, a.doc->prop_capacity);
  const Ini &same = b;
  b = same;
  EXPECT_EQ(str(b[0ul]["k"].value()), "short");
  Ini c = std::move(b);
  EXPECT_EQ(b.doc, nullptr);
  EXPECT_EQ(b.section_count(), 0);
  c = a;
  a = std::move(c);
  EXPECT_EQ(c.doc, nullptr);
  EXPECT_EQ(a[1ul].name().len, 40u);
}

// Documents built by editing through the API must read back unchanged. Texts
// stay within what the format can carry: no "]" in section names, no "=" in
// property names, no blanks at the edges of names and values, and a line feed
// in a value only as a continuation.
TEST(Ini, TextFormRoundTripsEditedDocuments) {
  std::mt19937 rng(20240611);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto text = [&](const std::string &alphabet, int len) {
    std::string t;
    for (int i = 0; i < len; ++i)
      t += alphabet[static_cast<u64>(pick(0, int(alphabet.size()) - 1))];
    return t;
  };
  const std::string edge = "abcXYZ019_#./";
  const std::string inner = edge + " \t[;";
  const std::string e_acute = "\xC3\xA9";
  for (int round = 0; round < 40; ++round) {
    std::string skeleton;
    const int sections = pick(1, 20);
    for (int s = 0; s < sections; ++s) {
      if (s != 0) skeleton += "[x]\n";
      for (int k = pick(0, 18); k > 0; --k) skeleton += "k = v\n";
    }
    Ini doc = parse_exact(skeleton);
    for (int s = 1; s < doc.section_count(); ++s) {
      const std::string name = text(inner + "=", pick(1, 40));
      doc[static_cast<unsigned long>(s)].set_name(sv(name));
    }
    for (IniSection s : doc) {
      for (IniProp p : s) {
        const std::string name = text(edge, 1) + text(inner + "]", pick(0, 36)) + text(edge, 1);
        std::string value = pick(0, 3) == 0 ? e_acute : text(edge, 1);
        value += text(inner + "]=" + e_acute, pick(0, 70));
        if (pick(0, 4) == 0) value += "\\\n " + text(edge, 3);
        value += pick(0, 3) == 0 ? e_acute : text(edge, 1);
        p.set_name(sv(name));
        p.set_value(pick(0, 9) == 0 ? StrView() : sv(value));
      }
    }
    if (doc.section_count() > 2 && pick(0, 1) == 0) doc[1ul].remove();
    IniProp(doc.doc, pick(0, doc.section_count() - 1), pick(0, 3)).remove();

    const Str written = doc.to_str();
    EXPECT_EQ(describe(Ini::parse(written)), describe(doc)) << "round " << round << ", text:\n"
                                                            << escaped(written);
  }
}

} // namespace
