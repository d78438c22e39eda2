#include "core/str.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
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

// The capacity the builder must have once it holds `len` characters: inline
// up to 127, then the smallest multiple of 32 above the length.
u64 expected_capacity(u64 len) {
  return len < 128 ? 128 : (len / 32 + 1) * 32;
}

} // namespace

TEST(Str, EmptyInputsGiveTheNullString) {
  const char text[] = "abc";
  const char *none = nullptr;
  expect_null_empty(Str(), "Str()");
  expect_null_empty(Str(StrView()), "empty view");
  expect_null_empty(Str(""), "empty C string");
  expect_null_empty(Str(none), "null C string");
  expect_null_empty(Str(text, 0), "pointer with length 0");
  expect_null_empty(Str(none, 5), "null pointer with a length");
  expect_null_empty(Str(u64{0}), "Str(0)");
  expect_null_empty(Str(0, 'x'), "Str(0, 'x')");
  const Str empty;
  expect_null_empty(Str(empty), "copy of empty");
}

TEST(Str, ConstructorsCopyTheCharacters) {
  const char text[] = "hello";
  EXPECT_EQ(s(Str(3, 'x')), "xxx");
  const Str a(text);
  EXPECT_EQ(s(a), "hello");
  EXPECT_NE(a.data, text);
  EXPECT_EQ(s(Str(text, 4)), "hell");
  EXPECT_EQ(Str(u64{5}).len, 5u);
  const Str b(a);
  EXPECT_EQ(s(b), "hello");
  EXPECT_NE(b.data, a.data);

  Str from("moved");
  const char *block = from.data;
  const Str to(std::move(from));
  EXPECT_EQ(to.data, block);
  expect_null_empty(from, "moved-from");
}

TEST(Str, NullTerminateCountsTheNul) {
  Str empty;
  empty.null_terminate();
  ASSERT_EQ(empty.len, 1u);
  EXPECT_EQ(empty.data[0], '\0');
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

TEST(Str, SelfAssignmentKeepsTheText) {
  Str a("hello");
  const Str &alias = a;
  a = alias;
  EXPECT_EQ(s(a), "hello");
  a = a.view();
  EXPECT_EQ(s(a), "hello");
  Str empty;
  empty = empty.view();
  expect_null_empty(empty, "empty self-assigned");
}

TEST(Str, AssignmentFromItsOwnCharacters) {
  // A view of part of the string's own block must be read before the block
  // is resized, or the copy reads freed memory (AddressSanitizer).
  Str a("hello world");
  a = StrView(a.data, 5);
  EXPECT_EQ(s(a), "hello");
  Str b("hello world");
  b = b.view().sub(6, 5);
  EXPECT_EQ(s(b), "world");
  Str c("abc");
  c += c.view();
  EXPECT_EQ(s(c), "abcabc");
  c += c.view().sub(1, 2);
  EXPECT_EQ(s(c), "abcabcbc");
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

TEST(Str, ConcatenationAndAppend) {
  expect_null_empty(StrView() + StrView(), "empty + empty");
  EXPECT_EQ(s(StrView("ab") + StrView("cd")), "abcd");
  EXPECT_EQ(s(StrView("ab") + StrView()), "ab");
  EXPECT_EQ(s(StrView() + StrView("cd")), "cd");

  Str a;
  a += "ab";
  EXPECT_EQ(s(a), "ab");
  a += StrView();
  EXPECT_EQ(s(a), "ab");
  a += "cd";
  EXPECT_EQ(s(a), "abcd");
  Str empty;
  empty += StrView();
  expect_null_empty(empty, "empty += empty");
}

TEST(Str, ResizeKeepsThePrefix) {
  Str a("abcdef");
  a.resize(3);
  EXPECT_EQ(s(a), "abc");
  a.resize(5);
  EXPECT_EQ(s(a.view().sub(0, 3)), "abc");
  a.resize(0);
  expect_null_empty(a, "resized to 0");
}

TEST(Str, FromRawAdoptsTheBlock) {
  char *block = static_cast<char *>(std::malloc(3));
  std::memcpy(block, "xyz", 3);
  const Str a = Str::from_raw(block, 3); // freed by a; a leak would fail under LeakSanitizer
  EXPECT_EQ(a.data, block);
  EXPECT_EQ(s(a), "xyz");
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
    const Err *err = dynamic_cast<const Err *>(&e);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(s(err->message), "caught as a standard exception");
  }
}

TEST(StrBuilder, StartsInlineAndEmpty) {
  StrBuilder b;
  EXPECT_EQ(b.capacity, 128u);
  EXPECT_EQ(b.len, 0u);
  EXPECT_TRUE(b.is_inline());
  EXPECT_EQ(b.view().data, nullptr);
  EXPECT_EQ(b.view().len, 0u);
}

TEST(StrBuilder, The128thCharacterMovesItToTheHeap) {
  StrBuilder b;
  const std::string text(127, 'a');
  b.append(StrView(text.data(), text.size()));
  EXPECT_TRUE(b.is_inline());
  EXPECT_EQ(b.capacity, 128u);
  b.append('b');
  EXPECT_FALSE(b.is_inline());
  EXPECT_EQ(b.capacity, 160u);
  EXPECT_EQ(s(b.view()), text + "b");
}

TEST(StrBuilder, GrowsInStepsOf32JustAboveTheLength) {
  StrBuilder b;
  std::string want;
  for (int i = 0; i < 1000; ++i) {
    const char c = static_cast<char>('a' + i % 26);
    b.append(c);
    want += c;
    ASSERT_EQ(b.capacity, expected_capacity(b.len)) << "after " << b.len << " characters";
  }
  EXPECT_EQ(s(b.view()), want);

  StrBuilder big;
  const std::string block(1000, 'z');
  big.append(StrView(block.data(), block.size()));
  EXPECT_EQ(big.capacity, 1024u);
  big.append(StrView(block.data(), 24));
  EXPECT_EQ(big.capacity, 1056u); // 1024 characters need a capacity above 1024
}

TEST(StrBuilder, AppendsItsOwnText) {
  // The view must be read from where the text is after growing: a heap block
  // moved by realloc is freed (AddressSanitizer reports the old read).
  StrBuilder b;
  const std::string text(150, 'o');
  b.append(StrView(text.data(), text.size()));
  b.append(b.view());
  EXPECT_EQ(s(b.view()), text + text);
  b.append(b.view().sub(10, 20));
  EXPECT_EQ(b.len, 320u);
  StrBuilder small;
  small.append("0123456789");
  for (int i = 0; i < 5; ++i) small.append(small.view()); // crosses from inline to heap
  EXPECT_EQ(small.len, 320u);
  EXPECT_EQ(s(small.view().sub(310, 10)), "0123456789");
}

TEST(StrBuilder, EnsureCapacityTakesATotalAndNeverShrinks) {
  StrBuilder b;
  b.ensure_capacity(100);
  EXPECT_EQ(b.capacity, 128u);
  EXPECT_TRUE(b.is_inline());
  b.ensure_capacity(127);
  EXPECT_EQ(b.capacity, 128u);
  b.append("kept");
  b.ensure_capacity(128);
  EXPECT_EQ(b.capacity, 160u);
  EXPECT_FALSE(b.is_inline());
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

TEST(StrBuilder, AppendfFormatsWithPrintfRules) {
  StrBuilder b;
  b.append("n=");
  b.appendf("%d-%s", 7, "x");
  EXPECT_EQ(s(b.view()), "n=7-x");
  EXPECT_EQ(b.len, 5u);
  b.appendf("%s", "");
  EXPECT_EQ(b.len, 5u);

  // Crossing the inline limit, and filling to exactly 127 characters, which
  // still needs one byte more for vsnprintf's NUL.
  StrBuilder c;
  const std::string head(100, 'h');
  c.append(StrView(head.data(), head.size()));
  c.appendf("%027d", 5);
  EXPECT_EQ(c.len, 127u);
  EXPECT_EQ(c.capacity, 160u);
  EXPECT_EQ(s(c.view()), head + std::string(26, '0') + "5");
  c.appendf("%s|%s", head.c_str(), head.c_str());
  EXPECT_EQ(s(c.view()), head + std::string(26, '0') + "5" + head + "|" + head);
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

TEST(StrBuilder, ToStringOfAnInlineBuilderCopiesAndKeepsTheText) {
  StrBuilder b;
  b.append("abc");
  const Str a = b.to_string();
  EXPECT_EQ(s(a), "abc");
  EXPECT_NE(a.data, b.data);
  EXPECT_EQ(s(b.view()), "abc");

  StrBuilder empty;
  expect_null_empty(empty.to_string(), "empty inline builder");
}

TEST(StrBuilder, ToStringOfAHeapBuilderHandsTheBlockOver) {
  StrBuilder b;
  const std::string text(200, 'q');
  b.append(StrView(text.data(), text.size()));
  const char *block = b.data;
  const Str a = b.to_string();
  EXPECT_EQ(a.data, block);
  EXPECT_EQ(s(a), text);
  EXPECT_TRUE(b.is_inline());
  EXPECT_EQ(b.len, 0u);
  EXPECT_EQ(b.capacity, 128u);
  b.append("again");
  EXPECT_EQ(s(b.view()), "again");
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
  const std::string text(300, 'r');
  heap.append(StrView(text.data(), text.size()));
  heap.reset();
  EXPECT_EQ(heap.capacity, 320u);
  EXPECT_FALSE(heap.is_inline());
  // The block is released, not handed over as a zero-length string.
  expect_null_empty(heap.to_string(), "reset heap builder");
  EXPECT_TRUE(heap.is_inline());
}
