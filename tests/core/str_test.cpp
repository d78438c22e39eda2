#include "core/str.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>

namespace {

std::string s(StrView v) {
  return v.len == 0 ? std::string() : std::string(v.data, v.len);
}

void expect_null_empty(const Str &str, const char *what) {
  EXPECT_EQ(str.data, nullptr) << what;
  EXPECT_EQ(str.len, 0u) << what;
}

// A std::string as a view, for appending long runs.
StrView v(const std::string &text) {
  return StrView(text.data(), text.size());
}

} // namespace

TEST(Str, EmptyInputsGiveTheNullString) {
  const char text[] = "abc";
  const char *none = nullptr;
  const Str empty;
  expect_null_empty(empty, "Str()");
  expect_null_empty(Str(StrView()), "empty view");
  expect_null_empty(Str(""), "empty C string");
  expect_null_empty(Str(none), "null C string");
  expect_null_empty(Str(text, 0), "pointer with length 0");
  expect_null_empty(Str(none, 5), "null pointer with a length");
  expect_null_empty(Str(u64{0}), "Str(0)");
  expect_null_empty(Str(0, 'x'), "Str(0, 'x')");
  expect_null_empty(Str(empty), "copy of empty");
  expect_null_empty(StrView() + StrView(), "empty + empty");
}

TEST(Str, ConstructorsCopyAndMoveTakesOver) {
  const char text[] = "hello";
  EXPECT_EQ(s(Str(3, 'x')), "xxx");
  EXPECT_EQ(s(Str(text, 4)), "hell");
  const Str a(text);
  const Str b(a);
  EXPECT_NE(a.data, text);
  EXPECT_NE(b.data, a.data);
  EXPECT_EQ(s(b), "hello");
  Str from("moved");
  const char *block = from.data;
  const Str to(std::move(from));
  EXPECT_EQ(to.data, block);
  expect_null_empty(from, "moved-from");
}

TEST(Str, NullTerminateCountsTheNul) {
  Str empty;
  empty.null_terminate();
  EXPECT_EQ(std::string(empty.data, empty.len), std::string("\0", 1));
  Str ab("ab");
  ab.null_terminate();
  EXPECT_EQ(std::string(ab.data, ab.len), std::string("ab\0", 3));
}

TEST(Str, MoveAssignmentExchangesContents) {
  Str a("first"), b("second");
  a = std::move(b);
  EXPECT_EQ(s(a), "second");
  EXPECT_EQ(s(b), "first");
  Str &alias = a;
  a = std::move(alias);
  EXPECT_EQ(s(a), "second");
}

TEST(Str, AssignmentReplacesTheText) {
  Str a("old text");
  a = "new";
  EXPECT_EQ(s(a), "new");
  a = StrView("longer text");
  EXPECT_EQ(s(a), "longer text");
  const Str other("copy");
  a = other;
  EXPECT_EQ(s(a), "copy");
  EXPECT_NE(a.data, other.data);
  a = "";
  expect_null_empty(a, "assigned empty C string");
  a = "x";
  a = StrView();
  expect_null_empty(a, "assigned empty view");
}

TEST(Str, AssignmentAndAppendFromItsOwnCharacters) {
  Str a("hello");
  const Str &alias = a;
  a = alias;
  a = a.view();
  EXPECT_EQ(s(a), "hello");
  // A part of the string's own block must be read before the block is
  // resized, or the copy reads freed memory (AddressSanitizer).
  Str b("hello world");
  b = StrView(b.data, 5);
  EXPECT_EQ(s(b), "hello");
  Str c("hello world");
  c = c.view().sub(6, 5);
  EXPECT_EQ(s(c), "world");
  Str d("abc");
  d += d.view();
  EXPECT_EQ(s(d), "abcabc");
  d += d.view().sub(1, 2);
  EXPECT_EQ(s(d), "abcabcbc");
}

TEST(Str, ConcatenationAndAppend) {
  EXPECT_EQ(s(StrView("ab") + StrView("cd")), "abcd");
  EXPECT_EQ(s(StrView("ab") + StrView()), "ab");
  EXPECT_EQ(s(StrView() + StrView("cd")), "cd");
  Str a;
  a += StrView();
  expect_null_empty(a, "empty += empty");
  a += "ab";
  a += StrView();
  a += "cd";
  EXPECT_EQ(s(a), "abcd");
}

TEST(Err, CopiesAViewAndTakesOverAString) {
  const char text[] = "bad thing";
  const Err from_view{StrView(text)};
  EXPECT_EQ(s(from_view.message), "bad thing");
  EXPECT_NE(from_view.message.data, text);
  Str message("formatted");
  const char *block = message.data;
  const Err from_str(std::move(message));
  EXPECT_EQ(from_str.message.data, block);
  try {
    throw Err("caught as a standard exception");
  } catch (const std::exception &e) {
    ASSERT_NE(dynamic_cast<const Err *>(&e), nullptr);
  }
}

TEST(StrBuilder, StartsInlineAndEmpty) {
  StrBuilder b;
  EXPECT_EQ(b.capacity, 128u);
  EXPECT_TRUE(b.is_inline());
  EXPECT_EQ(b.view().data, nullptr);
  EXPECT_EQ(b.view().len, 0u);
}

TEST(StrBuilder, GrowsPastInlineInStepsOf32JustAboveTheLength) {
  StrBuilder b;
  b.append(v(std::string(127, 'a')));
  EXPECT_TRUE(b.is_inline());
  EXPECT_EQ(b.capacity, 128u);
  b.append('b');
  EXPECT_FALSE(b.is_inline());
  EXPECT_EQ(b.capacity, 160u);
  EXPECT_EQ(s(b.view()), std::string(127, 'a') + "b");

  std::string want = s(b.view());
  while (b.len < 1000) {
    const char c = static_cast<char>('a' + b.len % 26);
    b.append(c);
    want += c;
    // Never doubling: the smallest multiple of 32 above the length.
    ASSERT_EQ(b.capacity, (b.len / 32 + 1) * 32) << "after " << b.len << " characters";
  }
  EXPECT_EQ(s(b.view()), want);

  StrBuilder big;
  big.append(v(std::string(1000, 'z')));
  EXPECT_EQ(big.capacity, 1024u);
  big.append(v(std::string(24, 'z')));
  EXPECT_EQ(big.capacity, 1056u); // 1024 characters need a capacity above 1024
}

TEST(StrBuilder, EnsureCapacityTakesATotalAndNeverShrinks) {
  StrBuilder b;
  b.ensure_capacity(100);
  b.ensure_capacity(127);
  EXPECT_EQ(b.capacity, 128u);
  EXPECT_TRUE(b.is_inline());
  b.append("kept");
  b.ensure_capacity(128);
  EXPECT_EQ(b.capacity, 160u);
  EXPECT_EQ(s(b.view()), "kept");
  b.ensure_capacity(50);
  EXPECT_EQ(b.capacity, 160u);
  b.ensure_capacity(160);
  EXPECT_EQ(b.capacity, 192u);
}

TEST(StrBuilderDeathTest, EnsureCapacityBeyondAnySizeIsFatal) {
  // No multiple of 32 lies above these sizes; quietly keeping the old buffer
  // would let the caller write past it.
  StrBuilder b;
  EXPECT_DEATH(b.ensure_capacity(~u64{0}), "Runtime assertion failed: result != nullptr");
  EXPECT_DEATH(b.ensure_capacity(~u64{0} - 31), "Runtime assertion failed: result != nullptr");
}

TEST(StrBuilder, AppendsItsOwnText) {
  // The view must be read from where the text is after growing: a heap block
  // moved by realloc is freed (AddressSanitizer reports the old read).
  StrBuilder b;
  b.append(v(std::string(150, 'o')));
  b.append(b.view());
  EXPECT_EQ(s(b.view()), std::string(300, 'o'));
  StrBuilder small;
  small.append("0123456789");
  for (int i = 0; i < 5; ++i) small.append(small.view()); // crosses from inline to heap
  EXPECT_EQ(small.len, 320u);
  EXPECT_EQ(s(small.view().sub(310, 10)), "0123456789");
}

TEST(StrBuilder, AppendfFormatsWithPrintfRules) {
  StrBuilder b;
  b.append("n=");
  b.appendf("%d-%s", 7, "x");
  b.appendf("%s", "");
  EXPECT_EQ(s(b.view()), "n=7-x");
  // Filling to exactly 127 characters still needs room for vsnprintf's NUL.
  StrBuilder c;
  const std::string head(100, 'h');
  c.append(v(head));
  c.appendf("%027d", 5);
  EXPECT_EQ(c.capacity, 160u);
  c.appendf("%s|%s", head.c_str(), head.c_str());
  EXPECT_EQ(s(c.view()), head + std::string(26, '0') + "5" + head + "|" + head);
}

TEST(StrBuilder, AppendfReadsItsOwnTextSafely) {
  // b.appendf("%s", b.data) once read a heap block that growing had freed
  // (AddressSanitizer reports it); without growth it wrote over the text's
  // NUL while still reading the text, which the C library need not survive.
  struct Row {
    u64 length;   // of the text already in the builder
    u64 reserved; // capacity asked for beforehand
    bool grows;
  } rows[] = {{41, 0, false},      // inline, 3 * 41 + 1 characters still fit
              {42, 0, true},       // inline, the NUL no longer fits: to the heap
              {150, 0, true},      // heap block of 160, moved by realloc
              {150, 1000, false}}; // heap block with room to spare
  for (const Row &r : rows) {
    const std::string text(r.length, 'x');
    StrBuilder b;
    b.ensure_capacity(r.reserved);
    b.appendf("%s", text.c_str()); // leaves a NUL after the text
    const u64 capacity = b.capacity;
    b.appendf("%s|%s", b.data, b.data);
    EXPECT_EQ(s(b.view()), text + text + "|" + text) << "length " << r.length;
    EXPECT_EQ(b.capacity != capacity, r.grows) << "length " << r.length;
  }
}

TEST(StrBuilder, AppendfWithAFailingFormatAppendsNothing) {
  // A wide character outside the C locale's character set makes vsnprintf
  // fail with a negative count.
  ASSERT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
  const wchar_t wide[] = {static_cast<wchar_t>(0x263A), 0};
  StrBuilder b;
  b.append("keep");
  b.appendf("%ls", wide);
  EXPECT_EQ(s(b.view()), "keep");
}

TEST(StrBuilder, ToStringCopiesInlineTextAndHandsHeapBlocksOver) {
  StrBuilder b;
  b.append("abc");
  const Str a = b.to_string();
  EXPECT_EQ(s(a), "abc");
  EXPECT_NE(a.data, b.data);
  EXPECT_EQ(s(b.view()), "abc") << "an inline builder keeps its text";
  StrBuilder empty;
  expect_null_empty(empty.to_string(), "empty inline builder");

  StrBuilder heap;
  heap.append(v(std::string(200, 'q')));
  const char *block = heap.data;
  const Str h = heap.to_string();
  EXPECT_EQ(h.data, block);
  EXPECT_EQ(s(h), std::string(200, 'q'));
  EXPECT_TRUE(heap.is_inline());
  EXPECT_EQ(heap.len, 0u);
  EXPECT_EQ(heap.capacity, 128u);
  heap.append("again");
  EXPECT_EQ(s(heap.view()), "again");
}

TEST(StrBuilder, RemoveLastAndReset) {
  StrBuilder b;
  b.remove_last();
  EXPECT_EQ(b.len, 0u);
  b.append("ab");
  b.remove_last();
  EXPECT_EQ(s(b.view()), "a");
  b.reset();
  expect_null_empty(b.to_string(), "reset inline builder");

  StrBuilder heap;
  heap.append(v(std::string(300, 'r')));
  heap.reset();
  EXPECT_EQ(heap.capacity, 320u);
  EXPECT_FALSE(heap.is_inline());
  // The block is released (LeakSanitizer), not handed over as a zero-length string.
  expect_null_empty(heap.to_string(), "reset heap builder");
  EXPECT_TRUE(heap.is_inline());
}
