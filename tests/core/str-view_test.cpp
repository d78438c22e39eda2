#include "core/str-view.h"

#include "core/hash.h"
#include "core/str.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Lets failure messages name the Ordering instead of dumping its byte.
void PrintTo(Ordering o, std::ostream *os) {
  *os << (o == Ordering::Less ? "Less" : o == Ordering::Equal ? "Equal" : "Greater");
}

namespace {

constexpr u64 npos = StrView::npos;

std::string s(StrView v) {
  return v.len == 0 ? std::string() : std::string(v.data, v.len);
}

// Views of literals that may hold NUL bytes: the length is the array's.
template <u64 N> StrView lit(const char (&a)[N]) {
  return StrView(a, N - 1);
}

std::vector<std::string> parts(ArrView<StrView> got) {
  std::vector<std::string> out;
  for (StrView p : got) out.push_back(s(p));
  return out;
}

using Parts = std::vector<std::string>;

} // namespace

TEST(StrView, EveryEmptyViewIsNull) {
  const char text[] = "abc";
  const char *none = nullptr;
  for (StrView v : {StrView(), StrView(""), StrView(none), StrView(text, 0)}) {
    EXPECT_EQ(v.data, nullptr);
    EXPECT_EQ(v.len, 0u);
  }
}

TEST(StrView, HandAssembledEmptyViewBehavesLikeTheNormalOne) {
  StrView odd;
  odd.data = "xyz";
  StrView out[2];
  EXPECT_TRUE(odd == StrView());
  EXPECT_EQ(odd.compare(StrView()), Ordering::Equal);
  EXPECT_EQ(odd.compare_ci(StrView()), Ordering::Equal);
  EXPECT_EQ(odd.hash(), StrView().hash());
  EXPECT_EQ(odd.find('x'), npos);
  EXPECT_FALSE(odd.starts_with('x'));
  EXPECT_EQ(odd.sub(0, 3).data, nullptr);
  EXPECT_EQ(odd.split(',', out).count, 0u);
}

TEST(StrView, CompareAndCompareCi) {
  static_assert(int(Ordering::Less) == 0 && int(Ordering::Equal) == 1 &&
                int(Ordering::Greater) == 2);
  const Ordering L = Ordering::Less, E = Ordering::Equal, G = Ordering::Greater;
  struct Row {
    StrView a, b;
    Ordering plain, ci;
  } rows[] = {{"", "", E, E},
              {"", "a", L, L},
              {"a", "", G, G},
              {"ab", "abc", L, L},
              {"b", "abc", G, G},
              {"abc", "abc", E, E},
              {"ABC", "abd", L, L},
              {"abc", "ABC", G, E},
              {"AB", "abc", L, L},
              // Letters fold to lower case: '[' (0x5B) lies between 'Z' and 'a'.
              {"[", "A", G, L},
              // compare orders bytes unsigned; compare_ci takes them as signed, so
              // 0x80..0xFF order below ASCII there (glibc's tolower would not).
              {"\x80", "a", G, L},
              {"a", "\xFF", L, G},
              {"\xC0", "\xE0", L, L}};
  for (const Row &r : rows) {
    const std::string row = "'" + s(r.a) + "' vs '" + s(r.b) + "'";
    EXPECT_EQ(r.a.compare(r.b), r.plain) << row;
    EXPECT_EQ(r.a.compare_ci(r.b), r.ci) << row;
    EXPECT_EQ(r.a == r.b, r.plain == E) << row;
  }
}

TEST(StrView, EmbeddedNulIsAnOrdinaryByte) {
  // Views that differ only after a NUL are different text and hash
  // differently; comparing them as equal would let two dictionary keys
  // collide into one.
  const StrView a = lit("a\0b"), b = lit("a\0c");
  EXPECT_FALSE(a == b);
  EXPECT_NE(a.hash(), b.hash());
  EXPECT_EQ(a.compare(b), Ordering::Less);
  EXPECT_EQ(b.compare(a), Ordering::Greater);
  EXPECT_EQ(a.compare_ci(b), Ordering::Less);
  EXPECT_FALSE(lit("x\0yz").starts_with(lit("x\0q")));
  EXPECT_FALSE(lit("zx\0y").ends_with(lit("x\0q")));
  EXPECT_EQ(lit("a\0xa\0y").find(lit("a\0y")), 3u);
  EXPECT_EQ(lit("a\0ya\0x").find_last(lit("a\0y")), 0u);
  EXPECT_EQ(lit("a\0b").find('\0'), 1u);
  StrView out[4];
  EXPECT_EQ(parts(lit("1\0a2\0b3").split(lit("\0b"), out)), (Parts{std::string("1\0a2", 4), "3"}));
}

TEST(StrView, PrefixAndSuffix) {
  const StrView abc("abc"), empty;
  EXPECT_TRUE(abc.starts_with('a') && abc.ends_with('c'));
  EXPECT_FALSE(abc.starts_with('b') || abc.ends_with('b'));
  EXPECT_FALSE(empty.starts_with('\0') || empty.ends_with('\0'));
  EXPECT_TRUE(abc.starts_with(StrView("ab")) && abc.ends_with(StrView("bc")));
  EXPECT_TRUE(abc.starts_with(empty) && abc.ends_with(empty) && empty.starts_with(empty));
  EXPECT_FALSE(abc.starts_with(StrView("abcd")) || abc.ends_with(StrView("xabc")));
  EXPECT_FALSE(abc.starts_with(StrView("b")) || abc.ends_with(StrView("b")));
  // Only the view's own characters count, not what follows it in memory.
  EXPECT_FALSE(StrView("abcd", 2).starts_with(StrView("abc")));
}

TEST(StrView, HashIsFnv64OfTheCharacters) {
  const StrView v("glyph");
  EXPECT_EQ(v.hash(), hash_fnv64("glyph", 5));
  EXPECT_EQ(StrHash(v).value, v.hash());
  EXPECT_EQ(StrHash(StrView()).value, 0xCBF29CE484222325ull);
}

TEST(StrView, Find) {
  struct Row {
    StrView hay, needle;
    u64 first, last;
  } rows[] = {{"", "", 0, 0},
              {"abc", "", 0, 0}, // the empty needle is found at 0, not at len
              {"", "a", npos, npos},
              {"abc", "abcd", npos, npos},
              {"abc", "abc", 0, 0},
              {"abcabc", "bc", 1, 4},
              {"aaa", "aa", 0, 1},
              {"abc", "c", 2, 2},
              {"abcab", "abx", npos, npos},
              {"abcabc", "a", 0, 3},
              {"abc", "x", npos, npos},
              // The needle must lie inside the view, not run into what follows it.
              {StrView("abcd", 3), "cd", npos, npos},
              {StrView("abcd", 3), "d", npos, npos}};
  for (const Row &r : rows) {
    const std::string row = "'" + s(r.hay) + "' find '" + s(r.needle) + "'";
    EXPECT_EQ(r.hay.find(r.needle), r.first) << row;
    EXPECT_EQ(r.hay.find_last(r.needle), r.last) << row;
    if (r.needle.len == 1) {
      EXPECT_EQ(r.hay.find(r.needle[0]), r.first) << row << " as a character";
      EXPECT_EQ(r.hay.find_last(r.needle[0]), r.last) << row << " as a character";
    }
  }
}

TEST(StrView, SubClampsToTheEnd) {
  const StrView hello("hello");
  struct Row {
    StrView v;
    u64 pos, count;
    const char *want;
  } rows[] = {{hello, 5, 5, ""},  {hello, 2, npos, "llo"}, {"abc", 1, 100, "bc"},
              {hello, 0, 0, ""},  {StrView(), 0, 5, ""},   {hello, 0, 5, "hello"},
              {hello, 1, 1, "e"}, {hello, 3, 2, "lo"},     {hello, 4, npos - 1, "o"}};
  for (const Row &r : rows) {
    const StrView got = r.v.sub(r.pos, r.count);
    const std::string row =
        "'" + s(r.v) + "'.sub(" + std::to_string(r.pos) + ", " + std::to_string(r.count) + ")";
    EXPECT_EQ(s(got), r.want) << row;
    EXPECT_EQ(got.data, got.len == 0 ? nullptr : r.v.data + r.pos) << row;
  }
}

TEST(StrView, Split) {
  struct Row {
    StrView text;
    const char *sep; // one character: the char form; otherwise the view form
    bool skip_empty;
    u64 cap;
    Parts want;
  } rows[] = {
      {"a,,b,", ",", false, 8, {"a", "", "b", ""}},
      {"a,,b,", ",", false, 2, {"a", ""}}, // the rest is dropped, not merged into the last part
      {"a,b,c", ",", false, 1, {"a"}},
      {",", ",", false, 8, {"", ""}},
      {"abc", ",", false, 8, {"abc"}},
      {",a,,b,", ",", true, 8, {"a", "b"}},
      {",,a,b", ",", true, 1, {"a"}},
      {",,,", ",", true, 8, {}},
      {"a:::b", "::", false, 8, {"a", ":b"}}, // occurrences do not overlap
      {"abc", "", false, 8, {"abc"}},
      {"abc", "", true, 8, {"abc"}},
      {"a::b::", "::", false, 8, {"a", "b", ""}},
      {"::", "::", false, 8, {"", ""}},
      {"ab", "abc", false, 8, {"ab"}},
      {"a::b::c", "::", false, 2, {"a", "b"}},
      {"::a::::b::", "::", true, 8, {"a", "b"}},
      {"::::", "::", true, 8, {}},
      {"", ",", false, 8, {}},
      {"", "::", true, 8, {}},
      {"a,b", ",", false, 0, {}},
      {"a::b", "::", false, 0, {}}};
  for (const Row &r : rows) {
    const std::string row = "'" + s(r.text) + "' at '" + r.sep + "' skip " +
                            std::to_string(r.skip_empty) + " cap " + std::to_string(r.cap);
    StrView out[8] = {StrView("untouched")};
    const ArrView<StrView> room(out, r.cap);
    const StrView sep(r.sep);
    ArrView<StrView> got;
    if (sep.len == 1)
      got = r.skip_empty ? r.text.split_se(sep[0], room) : r.text.split(sep[0], room);
    else
      got = r.skip_empty ? r.text.split_se(sep, room) : r.text.split(sep, room);
    EXPECT_EQ(parts(got), r.want) << row;
    // Nothing written gives the null array view; otherwise it views `out`.
    EXPECT_EQ(got.data, r.want.empty() ? nullptr : out) << row;
    EXPECT_EQ(s(out[0]), r.want.empty() ? "untouched" : r.want[0]) << row;
    for (StrView p : got) {
      if (p.len == 0) {
        EXPECT_EQ(p.data, nullptr) << row << ": empty part not null";
      } else {
        EXPECT_TRUE(p.data >= r.text.data && p.data < r.text.data + r.text.len)
            << row << ": a part is not a sub-view";
      }
    }
  }
}

TEST(StrView, TrimRemovesAllSixWhiteSpaceCharacters) {
  EXPECT_EQ(s(StrView(" \tx y\r\n").trim()), "x y");
  EXPECT_EQ(s(StrView(" \t\n\v\f\rx\r\f\v\n\t ").trim()), "x");
  EXPECT_EQ(s(StrView("  x  ").trim_left()), "x  ");
  EXPECT_EQ(s(StrView("  x  ").trim_right()), "  x");
  // Only the POSIX white space counts: NBSP and NEL bytes are text.
  EXPECT_EQ(s(StrView("\xA0x\x85").trim()), "\xA0x\x85");
  const StrView blank("   ");
  for (StrView v : {blank.trim(), blank.trim_left(), blank.trim_right(), StrView().trim()})
    EXPECT_EQ(v.data, nullptr);
}

TEST(StrView, CopyOutNeedsRoomForTheNul) {
  char buf[8] = "#######";
  EXPECT_FALSE(StrView("abc").try_to_c_str(buf, 3));
  EXPECT_FALSE(StrView("abc").try_to_c_str(nullptr, 8));
  EXPECT_FALSE(StrView("abc").try_to_c_str(buf, 0));
  EXPECT_FALSE(StrView().try_to_c_str(buf, 0));
  EXPECT_STREQ(buf, "#######") << "a failed copy must not write";
  try {
    StrView("abc").to_c_str(buf, 3);
    ADD_FAILURE() << "no Err thrown";
  } catch (const Err &e) {
    EXPECT_EQ(s(e.message), "Not enough memory to convert string to c string");
  }
  EXPECT_STREQ(buf, "#######");

  EXPECT_TRUE(StrView("abc").try_to_c_str(buf, 4));
  EXPECT_EQ(std::string(buf, 8), std::string("abc\0###\0", 8));
  EXPECT_TRUE(StrView().try_to_c_str(buf, 1));
  EXPECT_EQ(std::string(buf, 2), std::string("\0b", 2));
  StrView("xy").to_c_str(buf, 3);
  EXPECT_STREQ(buf, "xy");
}

TEST(StrView, AssignFillsAPresizedStringThroughSubViews) {
  Str path(7);
  const StrView whole = path.view();
  whole.sub(0, 3).assign("abc");
  whole.sub(3, 1).assign("/");
  whole.sub(4, 3).assign("def");
  EXPECT_EQ(s(path), "abc/def");
  whole.sub(0, 3).assign("toolong"); // lengths differ: nothing happens
  whole.sub(0, 3).assign(StrView());
  StrView().assign("x");
  EXPECT_EQ(s(path), "abc/def");
}
