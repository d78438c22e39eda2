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
  const StrView full(text);
  EXPECT_EQ(full.data, text);
  EXPECT_EQ(full.len, 3u);
}

TEST(StrView, HandAssembledEmptyViewBehavesLikeTheNormalOne) {
  StrView odd;
  odd.data = "xyz";
  EXPECT_TRUE(odd == StrView());
  EXPECT_EQ(odd.compare(StrView()), Ordering::Equal);
  EXPECT_EQ(odd.compare_ci(StrView()), Ordering::Equal);
  EXPECT_EQ(odd.hash(), StrView().hash());
  EXPECT_EQ(odd.find('x'), npos);
  EXPECT_FALSE(odd.starts_with('x'));
  EXPECT_EQ(odd.sub(0, 3).data, nullptr);
  StrView out[2];
  EXPECT_EQ(odd.split(',', out).count, 0u);
}

TEST(StrView, OrderingHasTheValuesZeroOneTwo) {
  static_assert(static_cast<int>(Ordering::Less) == 0);
  static_assert(static_cast<int>(Ordering::Equal) == 1);
  static_assert(static_cast<int>(Ordering::Greater) == 2);
}

TEST(StrView, CompareOrdersBytesUnsignedAndShorterFirst) {
  struct Row {
    StrView a, b;
    Ordering want;
  } rows[] = {
      {"", "", Ordering::Equal},         {"", "a", Ordering::Less},
      {"a", "", Ordering::Greater},      {"ab", "abc", Ordering::Less},
      {"b", "abc", Ordering::Greater},   {"abc", "abc", Ordering::Equal},
      {"abd", "abc", Ordering::Greater}, {"\x80", "a", Ordering::Greater},
      {"a", "\xFF", Ordering::Less},     {"A", "a", Ordering::Less},
  };
  for (const Row &r : rows) {
    EXPECT_EQ(r.a.compare(r.b), r.want) << "'" << s(r.a) << "' vs '" << s(r.b) << "'";
    EXPECT_EQ(r.a == r.b, r.want == Ordering::Equal) << "'" << s(r.a) << "' == '" << s(r.b) << "'";
  }
}

TEST(StrView, CompareCiFoldsAsciiLettersAndOrdersHighBytesBelowAscii) {
  struct Row {
    StrView a, b;
    Ordering want;
  } rows[] = {
      {"ABC", "abd", Ordering::Less},
      {"abc", "ABC", Ordering::Equal},
      {"", "", Ordering::Equal},
      {"AB", "abc", Ordering::Less},
      {"b", "ABC", Ordering::Greater},
      // Letters fold to lower case: '[' (0x5B) lies between 'Z' and 'a'.
      {"[", "A", Ordering::Less},
      {"_", "a", Ordering::Less},
      // Bytes compare as signed values here, so 0x80..0xFF order below ASCII;
      // glibc's tolower would order them differently, hence the own folding.
      {"\x80", "a", Ordering::Less},
      {"a", "\xFF", Ordering::Greater},
      {"\xC0", "\xE0", Ordering::Less},
      // No NUL ends the scan.
      {lit("a\0b"), lit("a\0c"), Ordering::Less},
  };
  for (const Row &r : rows)
    EXPECT_EQ(r.a.compare_ci(r.b), r.want) << "'" << s(r.a) << "' vs '" << s(r.b) << "'";
}

TEST(StrView, EmbeddedNulIsAnOrdinaryByte) {
  // Views that differ only after a NUL are different text: they hash
  // differently, so treating them as equal would let two dictionary keys
  // collide into one.
  const StrView a = lit("a\0b"), b = lit("a\0c");
  EXPECT_FALSE(a == b);
  EXPECT_NE(a.hash(), b.hash());
  EXPECT_EQ(a.compare(b), Ordering::Less);
  EXPECT_EQ(b.compare(a), Ordering::Greater);
  EXPECT_FALSE(lit("x\0yz").starts_with(lit("x\0q")));
  EXPECT_FALSE(lit("zx\0y").ends_with(lit("x\0q")));
  EXPECT_EQ(lit("a\0xa\0y").find(lit("a\0y")), 3u);
  EXPECT_EQ(lit("a\0ya\0x").find_last(lit("a\0y")), 0u);
  StrView out[4];
  EXPECT_EQ(parts(lit("1\0a2\0b3").split(lit("\0b"), out)), (Parts{std::string("1\0a2", 4), "3"}));
}

TEST(StrView, PrefixAndSuffixTests) {
  const StrView abc("abc"), empty;
  EXPECT_TRUE(abc.starts_with('a'));
  EXPECT_FALSE(abc.starts_with('b'));
  EXPECT_TRUE(abc.ends_with('c'));
  EXPECT_FALSE(empty.starts_with('\0'));
  EXPECT_FALSE(empty.ends_with('\0'));

  EXPECT_TRUE(abc.starts_with(StrView("ab")));
  EXPECT_TRUE(abc.starts_with(empty));
  EXPECT_TRUE(empty.starts_with(empty));
  EXPECT_FALSE(abc.starts_with(StrView("abcd")));
  EXPECT_FALSE(abc.starts_with(StrView("b")));
  EXPECT_TRUE(abc.ends_with(StrView("bc")));
  EXPECT_TRUE(abc.ends_with(empty));
  EXPECT_FALSE(abc.ends_with(StrView("xabc")));
  EXPECT_FALSE(abc.ends_with(StrView("b")));
  // A prefix test must not look past the view into the rest of the buffer.
  EXPECT_FALSE(StrView("abcd", 2).starts_with(StrView("abc")));
}

TEST(StrView, HashIsFnv64OfTheCharacters) {
  const StrView v("glyph");
  EXPECT_EQ(v.hash(), hash_fnv64("glyph", 5));
  EXPECT_EQ(StrHash(v).value, v.hash());
  EXPECT_EQ(StrHash(StrView()).value, 0xCBF29CE484222325ull);
  EXPECT_EQ(StrView().hash(), 0xCBF29CE484222325ull);
}

TEST(StrView, FindCharacter) {
  const StrView v("abcabc");
  EXPECT_EQ(v.find('b'), 1u);
  EXPECT_EQ(v.find_last('b'), 4u);
  EXPECT_EQ(v.find('a'), 0u);
  EXPECT_EQ(v.find_last('c'), 5u);
  EXPECT_EQ(v.find('x'), npos);
  EXPECT_EQ(v.find_last('x'), npos);
  EXPECT_EQ(StrView().find('a'), npos);
  EXPECT_EQ(StrView().find_last('a'), npos);
  EXPECT_EQ(lit("a\0b").find('\0'), 1u);
  // Only the view's own characters are searched.
  EXPECT_EQ(StrView("abcd", 3).find('d'), npos);
  EXPECT_EQ(StrView("abcd", 3).find_last('d'), npos);
}

TEST(StrView, FindSubstring) {
  struct Row {
    StrView hay, needle;
    u64 first, last;
  } rows[] = {
      {"", "", 0, 0},
      {"abc", "", 0, 0}, // the empty needle is found at 0, not at len
      {"", "a", npos, npos},
      {"abc", "abcd", npos, npos},
      {"abc", "abc", 0, 0},
      {"abcabc", "bc", 1, 4},
      {"aaa", "aa", 0, 1},
      {"abc", "c", 2, 2},
      {"abc", "a", 0, 0},
      {"abc", "x", npos, npos},
      {"abcab", "abx", npos, npos},
      // The needle must lie inside the view, not run into what follows it.
      {StrView("abcd", 3), "cd", npos, npos},
  };
  for (const Row &r : rows) {
    EXPECT_EQ(r.hay.find(r.needle), r.first) << "'" << s(r.hay) << "' find '" << s(r.needle) << "'";
    EXPECT_EQ(r.hay.find_last(r.needle), r.last)
        << "'" << s(r.hay) << "' find_last '" << s(r.needle) << "'";
  }
}

TEST(StrView, SubClampsToTheEnd) {
  const StrView hello("hello");
  struct Row {
    StrView v;
    u64 pos, count;
    const char *want;
  } rows[] = {
      {hello, 5, 5, ""},         {hello, 2, npos, "llo"}, {"abc", 1, 100, "bc"}, {hello, 0, 0, ""},
      {StrView(), 0, 5, ""},     {hello, 0, 5, "hello"},  {hello, 1, 1, "e"},    {hello, 4, 1, "o"},
      {hello, 4, npos - 1, "o"}, {hello, 3, 2, "lo"},
  };
  for (const Row &r : rows) {
    const StrView got = r.v.sub(r.pos, r.count);
    EXPECT_EQ(s(got), r.want) << "'" << s(r.v) << "'.sub(" << r.pos << ", " << r.count << ")";
    const char *want_data = got.len == 0 ? nullptr : r.v.data + r.pos;
    EXPECT_EQ(got.data, want_data) << "pos " << r.pos << " count " << r.count;
  }
}

TEST(StrView, SplitAtCharacterKeepsEmptyPartsAndTruncatesAtCapacity) {
  struct Row {
    StrView text;
    u64 cap;
    Parts want;
  } rows[] = {
      {"a,,b,", 8, {"a", "", "b", ""}},
      {"a,,b,", 2, {"a", ""}}, // the rest is dropped, not merged into the last part
      {"a,b,c", 1, {"a"}},
      {",", 8, {"", ""}},
      {"abc", 8, {"abc"}},
      {",a", 8, {"", "a"}},
      {"a,b", 2, {"a", "b"}},
  };
  for (const Row &r : rows) {
    StrView out[8];
    const ArrView<StrView> got = r.text.split(',', ArrView<StrView>(out, r.cap));
    EXPECT_EQ(got.data, out) << "'" << s(r.text) << "' cap " << r.cap;
    EXPECT_EQ(parts(got), r.want) << "'" << s(r.text) << "' cap " << r.cap;
    for (StrView p : got) {
      if (p.len == 0) {
        EXPECT_EQ(p.data, nullptr) << "'" << s(r.text) << "': empty part not null";
      }
    }
  }
}

TEST(StrView, SplitSkippingEmptyParts) {
  StrView out[8];
  EXPECT_EQ(parts(StrView(",a,,b,").split_se(',', out)), (Parts{"a", "b"}));
  EXPECT_EQ(parts(StrView(",,a,b").split_se(',', ArrView<StrView>(out, 1))), Parts{"a"});
  EXPECT_EQ(parts(StrView("a").split_se(',', out)), Parts{"a"});
  const ArrView<StrView> none = StrView(",,,").split_se(',', out);
  EXPECT_EQ(none.data, nullptr);
  EXPECT_EQ(none.count, 0u);
}

TEST(StrView, SplitOfNothingOrIntoNothingWritesNothing) {
  StrView out[2] = {StrView("keep"), StrView("keep")};
  for (ArrView<StrView> got :
       {StrView().split(',', out), StrView("a,b").split(',', ArrView<StrView>(out, 0)),
        StrView().split_se(StrView("::"), out),
        StrView("a::b").split(StrView("::"), ArrView<StrView>(out, 0))}) {
    EXPECT_EQ(got.data, nullptr);
    EXPECT_EQ(got.count, 0u);
  }
  EXPECT_EQ(s(out[0]), "keep");
}

TEST(StrView, SplitAtMultiCharacterSeparator) {
  struct Row {
    StrView text, sep;
    bool skip_empty;
    Parts want;
  } rows[] = {
      {"a:::b", "::", false, {"a", ":b"}}, // occurrences do not overlap
      {"abc", "", false, {"abc"}},
      {"abc", "", true, {"abc"}},
      {"a::b::", "::", false, {"a", "b", ""}},
      {"::", "::", false, {"", ""}},
      {"ab", "abc", false, {"ab"}},
      {"a::b::c", "::", false, {"a", "b", "c"}},
      {"::a::::b::", "::", true, {"a", "b"}},
      {"::::", "::", true, {}},
      {"a--b", "--", true, {"a", "b"}},
  };
  for (const Row &r : rows) {
    StrView out[8];
    const ArrView<StrView> got =
        r.skip_empty ? r.text.split_se(r.sep, out) : r.text.split(r.sep, out);
    EXPECT_EQ(parts(got), r.want) << "'" << s(r.text) << "' at '" << s(r.sep) << "' skip "
                                  << r.skip_empty;
  }
  StrView two[2];
  EXPECT_EQ(parts(StrView("a::b::c").split(StrView("::"), two)), (Parts{"a", "b"}));
}

TEST(StrView, TrimRemovesAllSixWhiteSpaceCharacters) {
  EXPECT_EQ(s(StrView(" \tx y\r\n").trim()), "x y");
  EXPECT_EQ(s(StrView(" \t\n\v\f\rx\r\f\v\n\t ").trim()), "x");
  EXPECT_EQ(s(StrView("  x  ").trim_left()), "x  ");
  EXPECT_EQ(s(StrView("  x  ").trim_right()), "  x");
  // Only the POSIX white space counts: NBSP and NEL bytes are text.
  EXPECT_EQ(s(StrView("\xA0x\x85").trim()), "\xA0x\x85");

  const StrView blank("   ");
  for (StrView v : {blank.trim(), blank.trim_left(), blank.trim_right(), StrView().trim()}) {
    EXPECT_EQ(v.data, nullptr);
    EXPECT_EQ(v.len, 0u);
  }
  const StrView word("word");
  EXPECT_EQ(word.trim().data, word.data);
}

TEST(StrView, CopyOutNeedsRoomForTheNul) {
  char buf[8] = "#######";
  EXPECT_FALSE(StrView("abc").try_to_c_str(buf, 3));
  EXPECT_STREQ(buf, "#######") << "a failed copy must not write";
  EXPECT_FALSE(StrView("abc").try_to_c_str(nullptr, 8));
  EXPECT_FALSE(StrView("abc").try_to_c_str(buf, 0));
  EXPECT_FALSE(StrView().try_to_c_str(buf, 0));
  EXPECT_STREQ(buf, "#######");

  EXPECT_TRUE(StrView("abc").try_to_c_str(buf, 4));
  EXPECT_EQ(std::string(buf, 8), std::string("abc\0###\0", 8));
  EXPECT_TRUE(StrView().try_to_c_str(buf, 1));
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], 'b');
}

TEST(StrView, ToCStrThrowsWhenItDoesNotFit) {
  char buf[4] = "###";
  try {
    StrView("abc").to_c_str(buf, 3);
    ADD_FAILURE() << "no Err thrown";
  } catch (const Err &e) {
    EXPECT_EQ(s(e.message), "Not enough memory to convert string to c string");
  }
  EXPECT_STREQ(buf, "###");
  StrView("abc").to_c_str(buf, 4);
  EXPECT_STREQ(buf, "abc");
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
