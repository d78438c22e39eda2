#include "core/fmt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <typeinfo>

namespace {

std::string s(StrView v) {
  return v.len == 0 ? std::string() : std::string(v.data, v.len);
}

template <typename T> std::string text_of(const T &v) {
  return s(fmt(v));
}

// One row of an integer parse table: the text, whether it parses, and the
// value it gives (as a string, so one table type serves every width).
struct IntRow {
  const char *text;
  bool ok;
  const char *value;
};

template <typename T> void check_int_parses(const char *type, std::initializer_list<IntRow> rows) {
  for (const IntRow &r : rows) {
    T out = 42;
    const bool ok = StrParser<T>::try_parse(StrView(r.text), out);
    EXPECT_EQ(ok, r.ok) << type << " '" << r.text << "'";
    // A failed parse must leave the 42 in place.
    EXPECT_EQ(text_of(out), ok ? r.value : "42") << type << " '" << r.text << "'";
  }
}

template <typename... T> void expect_rejected_by(StrView text) {
  auto one = [text](auto out) {
    const auto before = out;
    EXPECT_FALSE(StrParser<decltype(out)>::try_parse(text, out))
        << typeid(out).name() << " '" << s(text) << "'";
    EXPECT_EQ(out, before) << typeid(out).name() << " '" << s(text) << "': out changed";
  };
  (one(T(42)), ...);
}

// Texts that no number parser of any width may accept.
const char *const k_malformed[] = {"",    "+",   "-",   " 5", "5 ",    "0x10",
                                   "1-2", "++5", "+-5", "5a", "1,000", "\xB5"};

} // namespace

TEST(Fmt, ConcatenatesPiecesWithoutSeparators) {
  EXPECT_EQ(text_of(0), "0");
  EXPECT_EQ(s(fmt("Atlas size: ", 256, 'x', 128)), "Atlas size: 256x128");
  StrBuilder b;
  b.append("[");
  fmt(b, "a", Str("b"), StrView("c"), 1u, ']');
  EXPECT_EQ(s(b.view()), "[abc1]");
  // A literal ends at its first NUL, like a C string.
  EXPECT_EQ(s(fmt("ab\0cd", 1)), "ab1");
  const std::string long_text(300, 'L');
  EXPECT_EQ(s(fmt(StrView(long_text.data(), long_text.size()), "!")), long_text + "!");
}

TEST(Fmt, IntegersAtEveryWidthsLimits) {
  EXPECT_EQ(text_of(std::numeric_limits<short>::min()), "-32768");
  EXPECT_EQ(text_of(std::numeric_limits<short>::max()), "32767");
  EXPECT_EQ(text_of(std::numeric_limits<int>::min()), "-2147483648");
  EXPECT_EQ(text_of(std::numeric_limits<int>::max()), "2147483647");
  EXPECT_EQ(text_of(std::numeric_limits<long>::min()), "-9223372036854775808");
  EXPECT_EQ(text_of(std::numeric_limits<long>::max()), "9223372036854775807");
  EXPECT_EQ(text_of(static_cast<short>(-7)), "-7");
  EXPECT_EQ(text_of(-10), "-10");
  EXPECT_EQ(text_of(std::numeric_limits<unsigned short>::max()), "65535");
  EXPECT_EQ(text_of(std::numeric_limits<unsigned int>::max()), "4294967295");
  EXPECT_EQ(text_of(std::numeric_limits<unsigned long>::max()), "18446744073709551615");
  EXPECT_EQ(text_of(std::numeric_limits<unsigned long long>::max()), "18446744073709551615");
  EXPECT_EQ(text_of(static_cast<unsigned short>(0)), "0");
  EXPECT_EQ(text_of(1000000u), "1000000");
}

TEST(Fmt, CharsPrintAsCharactersAndUnsignedCharsAsNumbers) {
  EXPECT_EQ(text_of('A'), "A");
  EXPECT_EQ(text_of(static_cast<unsigned char>(65)), "65");
  EXPECT_EQ(text_of(static_cast<unsigned char>(0)), "0");
  EXPECT_EQ(text_of(static_cast<unsigned char>(255)), "255");
}

TEST(Fmt, BoolIsTrueOnlyForTheByteOne) {
  EXPECT_EQ(text_of(true), "true");
  EXPECT_EQ(text_of(false), "false");
  bool odd;
  const u8 two = 2;
  std::memcpy(&odd, &two, 1);
  StrBuilder b;
  Fmt<bool>::format(odd, b);
  EXPECT_EQ(s(b.view()), "false");
}

TEST(Fmt, FloatsTruncateToFixedFractionDigits) {
  struct Row {
    double value;
    bool is_float;
    const char *want;
  } rows[] = {{1.5, true, "1.5000"},
              {123.456, true, "123.4560"},
              {0.1, true, "0.1000"},
              {16777217.0, true, "16777216.0000"}, // the float nearest to it
              {-0.0, true, "0.0000"},
              {1e-7, true, "0.0000"},
              {-0.25, false, "-0.25000"},
              {2.0 / 3.0, false, "0.66666"}, // truncated, not rounded up
              {1e-7, false, "0.00000"},
              {-1e-7, false, "-0.00000"}, // between -1 and 0: the integer part has no sign
              {-0.5, false, "-0.50000"},
              {-1.75, false, "-1.75000"},
              {16777217.0, false, "16777217.00000"},
              {-0.0, false, "0.00000"},
              {1e20, false, "9223372036854775808.00000"},
              {-1e20, false, "-9223372036854775808.00000"},
              {1e20, true, "9223372036854775808.0000"},
              {-1e20, true, "-9223372036854775808.0000"},
              {9223372036854775808.0, false, "9223372036854775808.00000"},
              {-9223372036854775808.0, false, "-9223372036854775808.00000"},
              {std::numeric_limits<double>::quiet_NaN(), false, "9223372036854775808.00000"},
              {std::numeric_limits<double>::quiet_NaN(), true, "9223372036854775808.0000"},
              {std::numeric_limits<double>::infinity(), false, "9223372036854775808.00000"},
              {-std::numeric_limits<double>::infinity(), false, "-9223372036854775808.00000"},
              {-std::numeric_limits<double>::infinity(), true, "-9223372036854775808.0000"}};
  for (const Row &r : rows) {
    const std::string got = r.is_float ? text_of(static_cast<float>(r.value)) : text_of(r.value);
    EXPECT_EQ(got, r.want) << (r.is_float ? "float " : "double ") << r.value;
  }
}

TEST(Fmt, WrapperForms) {
  EXPECT_EQ(text_of(Ptr{26}), "0x000000000000001A");
  EXPECT_EQ(text_of(Ptr{0}), "0x0000000000000000");
  EXPECT_EQ(text_of(Ptr{0x0123456789ABCDEFull}), "0x0123456789ABCDEF");
  EXPECT_EQ(text_of(Ptr{~0ull}), "0xFFFFFFFFFFFFFFFF");
  EXPECT_EQ(text_of(StrHash(StrView())), "0xCBF29CE484222325");

  struct Row {
    u64 bytes;
    const char *want;
  } sizes[] = {{0, "0B"},
               {1, "1B"},
               {1023, "1023B"},
               {1024, "1.0K"},
               {1536, "1.5K"},
               {1048576, "1024.0K"},
               {1075, "1.0K"},
               {1076, "1.1K"}, // printf rounding of 1.0498 and 1.0508
               {~0ull, "18014398509481984.0K"}};
  for (const Row &r : sizes)
    EXPECT_EQ(text_of(HumanMemorySize{r.bytes}), r.want) << "bytes " << r.bytes;
}

TEST(Fmt, ZeroPrefixPadsToTheWidth) {
  struct Row {
    u16 width, value;
    std::string want;
  } rows[] = {{2, 5, "05"},
              {3, 7, "007"},
              {2, 123, "123"},
              {0, 0, "0"},
              {1, 0, "0"},
              {5, 0, "00000"},
              {5, 65535, "65535"},
              {6, 65535, "065535"},
              // Widths beyond any small digit buffer still get every zero.
              {30, 7, std::string(29, '0') + "7"},
              {100, 42, std::string(98, '0') + "42"},
              {24, 7, std::string(23, '0') + "7"},
              {25, 7, std::string(24, '0') + "7"},
              {65535, 0, std::string(65535, '0')}};
  for (const Row &r : rows)
    EXPECT_EQ(text_of(ZeroPrefixU16{r.width, r.value}), r.want)
        << "width " << r.width << " value " << r.value;
}

TEST(Fmt, EscapedControlWritesControlBytesAsHex) {
  // Every single byte against printf's own "\x%02x".
  for (int c = 0; c < 256; ++c) {
    const char byte = static_cast<char>(c);
    char want[8] = {byte, 0};
    if (c < 0x20 || c == 0x7F) std::snprintf(want, sizeof want, "\\x%02x", c);
    EXPECT_EQ(text_of(EscapedControl{StrView(&byte, 1)}), want) << "byte " << c;
  }
  struct Row {
    std::string text, want;
  } rows[] = {{"", ""},
              {"plain text", "plain text"},
              {"a\x1b[2Jb\n", "a\\x1b[2Jb\\x0a"},
              {"\r\n\r\n", "\\x0d\\x0a\\x0d\\x0a"},
              {"Grüße\t\\", "Grüße\\x09\\"}, // UTF-8 and the backslash pass
              {std::string("nul\0end", 7), "nul\\x00end"}};
  for (const Row &r : rows)
    EXPECT_EQ(text_of(EscapedControl{StrView(r.text.data(), r.text.size())}), r.want)
        << "text '" << r.text << "'";
}

TEST(StrParser, SignedIntegersAtTheirExactLimits) {
  check_int_parses<short>("short", {{"32767", true, "32767"},
                                    {"32768", false, ""},
                                    {"-32768", true, "-32768"},
                                    {"-32769", false, ""},
                                    {"-0", true, "0"},
                                    {"+5", true, "5"},
                                    {"007", true, "7"},
                                    {"100000", false, ""}});
  check_int_parses<int>("int", {{"2147483647", true, "2147483647"},
                                {"2147483648", false, ""},
                                {"-2147483648", true, "-2147483648"},
                                {"-2147483649", false, ""},
                                {"4294967296", false, ""}, // wraps to 0 in 32 bits
                                {"-0", true, "0"},
                                {"+0", true, "0"},
                                {"0000000000002147483647", true, "2147483647"},
                                {"1.0", false, ""}});
  check_int_parses<long>("long", {{"9223372036854775807", true, "9223372036854775807"},
                                  {"9223372036854775808", false, ""},
                                  {"-9223372036854775808", true, "-9223372036854775808"},
                                  {"-9223372036854775809", false, ""},
                                  {"18446744073709551617", false, ""},
                                  {"-1", true, "-1"}});
}

TEST(StrParser, UnsignedIntegersAtTheirExactLimits) {
  check_int_parses<unsigned short>("unsigned short", {{"65535", true, "65535"},
                                                      {"65536", false, ""},
                                                      {"70000", false, ""},
                                                      {"+0", true, "0"},
                                                      {"-0", false, ""},
                                                      {"-1", false, ""}});
  check_int_parses<unsigned int>("unsigned int", {{"4294967295", true, "4294967295"},
                                                  {"4294967296", false, ""},
                                                  {"-0", false, ""},
                                                  {"0", true, "0"}});
  check_int_parses<unsigned long>("unsigned long",
                                  {{"18446744073709551615", true, "18446744073709551615"},
                                   {"18446744073709551616", false, ""},
                                   {"18446744073709551617", false, ""}, // wraps to 1
                                   {"-0", false, ""}});
  check_int_parses<unsigned long long>("unsigned long long",
                                       {{"18446744073709551615", true, "18446744073709551615"},
                                        {"18446744073709551616", false, ""},
                                        {"36893488147419103232", false, ""}, // 2^65 wraps to 0
                                        {"-0", false, ""},
                                        {"+007", true, "7"}});
}

TEST(StrParser, MalformedNumbersFailForEveryType) {
  for (const char *text : k_malformed)
    expect_rejected_by<short, int, long, unsigned short, unsigned int, unsigned long,
                       unsigned long long, float, double>(StrView(text));
}

TEST(StrParser, FloatsAccumulateDigitByDigit) {
  struct Row {
    const char *text;
    bool ok;
    double value;
  } rows[] = {{"1.5", true, 1.5},   {"-0.25", true, -0.25}, {"3.", true, 3.0},
              {"+2", true, 2.0},    {"0", true, 0.0},       {"10.125", true, 10.125},
              {"007.5", true, 7.5}, {".5", false, 0},       {"-.5", false, 0},
              {"1e3", false, 0},    {"1.2.3", false, 0},    {"1.5f", false, 0},
              {"inf", false, 0},    {"nan", false, 0},      {"-", false, 0},
              {"", false, 0},       {"1. ", false, 0},      {". ", false, 0}};
  for (const Row &r : rows) {
    double d = 99;
    float f = 99;
    EXPECT_EQ(StrParser<double>::try_parse(StrView(r.text), d), r.ok)
        << "double '" << r.text << "'";
    EXPECT_EQ(StrParser<float>::try_parse(StrView(r.text), f), r.ok) << "float '" << r.text << "'";
    EXPECT_EQ(d, r.ok ? r.value : 99.0) << "double '" << r.text << "'";
    EXPECT_EQ(f, r.ok ? static_cast<float>(r.value) : 99.0f) << "float '" << r.text << "'";
  }
  double negative_zero = 1;
  ASSERT_TRUE(StrParser<double>::try_parse("-0", negative_zero));
  EXPECT_EQ(negative_zero, 0.0);
  EXPECT_TRUE(std::signbit(negative_zero));
  float negative_zero_f = 1;
  ASSERT_TRUE(StrParser<float>::try_parse("-0.0", negative_zero_f));
  EXPECT_TRUE(std::signbit(negative_zero_f));
}

TEST(StrParser, FloatsThatOverflowToInfinityFail) {
  // Digit by digit, 39 nines pass FLT_MAX and 309 pass DBL_MAX; such texts
  // once parsed to infinity, which the grammar cannot spell.
  const auto digits = [](const char *head, int n, char fill, const char *tail) {
    return head + std::string(static_cast<std::size_t>(n), fill) + tail;
  };
  const std::string floats[] = {digits("", 38, '9', ""), digits("3", 38, '0', ".5")};
  const std::string not_floats[] = {digits("", 39, '9', ""), digits("-4", 38, '0', ".5")};
  const std::string doubles[] = {digits("", 308, '9', ""), digits("1", 308, '0', ".25")};
  const std::string not_doubles[] = {digits("", 309, '9', ""), digits("-2", 308, '0', ".25")};
  float f = 0;
  double d = 0;
  for (const std::string &t : floats)
    EXPECT_TRUE(StrParser<float>::try_parse(StrView(t.c_str()), f) && f > 1e37f) << t;
  for (const std::string &t : doubles)
    EXPECT_TRUE(StrParser<double>::try_parse(StrView(t.c_str()), d) && d > 1e307) << t;
  for (const std::string &t : not_floats) expect_rejected_by<float>(StrView(t.c_str()));
  for (const std::string &t : not_doubles) expect_rejected_by<double>(StrView(t.c_str()));
  try {
    parse_str<float>(StrView(not_floats[0].c_str()), f);
    ADD_FAILURE() << "no Err for 39 nines";
  } catch (const Err &e) {
    EXPECT_EQ(s(e.message), "Cannot parse string: " + not_floats[0]);
  }
}

TEST(StrParser, BoolAcceptsOnlyTheTwoLowerCaseWords) {
  bool out = false;
  EXPECT_TRUE(StrParser<bool>::try_parse("true", out));
  EXPECT_TRUE(out);
  EXPECT_TRUE(StrParser<bool>::try_parse("false", out));
  EXPECT_FALSE(out);
  for (const char *text : {"True", "FALSE", "1", "0", "yes", "", "tru", "truex", " true"}) {
    bool kept = true;
    EXPECT_FALSE(StrParser<bool>::try_parse(StrView(text), kept)) << "'" << text << "'";
    EXPECT_TRUE(kept) << "'" << text << "': out changed on failure";
  }
}

TEST(StrParser, TextParsersNeverFail) {
  const StrView text("a\\b\\\\c");
  StrView view;
  EXPECT_TRUE(StrParser<StrView>::try_parse(text, view));
  EXPECT_EQ(view.data, text.data);
  EXPECT_EQ(view.len, text.len);
  EXPECT_TRUE(StrParser<StrView>::try_parse(StrView(), view));
  EXPECT_EQ(view.len, 0u);

  Str copy("previous");
  EXPECT_TRUE(StrParser<Str>::try_parse(text, copy));
  EXPECT_EQ(s(copy), "a\\b\\\\c");
  EXPECT_NE(copy.data, text.data);

  StrWithWrap wrap{Str("previous")};
  EXPECT_TRUE(StrParser<StrWithWrap>::try_parse(text, wrap));
  EXPECT_EQ(s(wrap.str), "abc");
  EXPECT_TRUE(StrParser<StrWithWrap>::try_parse("tail\\", wrap));
  EXPECT_EQ(s(wrap.str), "tail");
  EXPECT_TRUE(StrParser<StrWithWrap>::try_parse("\\\\\\", wrap));
  EXPECT_EQ(wrap.str.data, nullptr);
  const std::string long_text(100, 'x');
  EXPECT_TRUE(
      StrParser<StrWithWrap>::try_parse(StrView((long_text + "\\" + long_text).c_str()), wrap));
  EXPECT_EQ(s(wrap.str), long_text + long_text);
}

TEST(StrParser, ParseStrThrowsWithTheWholeText) {
  int value = 0;
  parse_str<int>("-12", value);
  EXPECT_EQ(value, -12);
  struct Row {
    const char *text;
    const char *message;
  } rows[] = {{"oops", "Cannot parse string: oops"},
              {"", "Cannot parse string: "},
              {" 12 ", "Cannot parse string:  12 "}};
  for (const Row &r : rows) {
    try {
      parse_str<int>(StrView(r.text), value);
      ADD_FAILURE() << "no Err for '" << r.text << "'";
    } catch (const Err &e) {
      EXPECT_EQ(s(e.message), r.message);
    }
    EXPECT_EQ(value, -12) << "'" << r.text << "'";
  }
  double d = 0;
  EXPECT_THROW(parse_str<double>("1e3", d), Err);
  bool b = false;
  EXPECT_THROW(parse_str<bool>("yes", b), Err);
}
