#include "shared/code-point-lists.h"

#include "tests/support/list-values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using support::message_of;
using support::to_vector;

template <typename Element, typename Value> struct ListCase {
  const char *text;
  bool ok;
  std::vector<Value> values;
};

template <typename Element, typename Value, u64 N>
void check_list_grammar(const ListCase<Element, Value> (&cases)[N]) {
  for (const auto &c : cases) {
    List<Element> out;
    const bool ok = StrParser<List<Element>>::try_parse(StrView(c.text), out);
    EXPECT_EQ(ok, c.ok) << "input: '" << c.text << "'";
    if (ok && c.ok) {
      EXPECT_EQ(to_vector(out), c.values) << "input: '" << c.text << "'";
    }
  }
}

TEST(CodePointLists, IntegerListGrammar) {
  const ListCase<int, int> cases[] = {
      {"[]", true, {}},
      {"[16]", true, {16}},
      {"[16, 24]", true, {16, 24}},
      {"[16, 24, ]", true, {16, 24}}, // one trailing ", " is allowed
      {"[+12, -3, 007]", true, {12, -3, 7}},
      {"[2147483647, -2147483648]", true, {2147483647, -2147483647 - 1}},
      {"", false, {}},
      {"[", false, {}},
      {"16", false, {}},
      {"[16,24]", false, {}},   // no blank after the comma
      {"[16 ,24]", false, {}},  // blank before it
      {"[16,  24]", false, {}}, // two blanks
      {"[ 16]", false, {}},
      {"[16 ]", false, {}},
      {"[16]x", false, {}},
      {"[16] ", false, {}},
      {"[]x", false, {}},
      {"[16, , 24]", false, {}},
      {"[16, 24, , ]", false, {}},
      {"[16", false, {}},
      {"[16, ", false, {}},
      {"[0x41]", false, {}},
      {"[2147483648]", false, {}},
      {"[16, 24]]", false, {}},
      {"[16]]", false, {}},
  };
  check_list_grammar(cases);
}

TEST(CodePointLists, RangeListGrammar) {
  const ListCase<CharRange, std::pair<int, int>> cases[] = {
      {"[32-126]", true, {{32, 126}}},
      {"[65-65, 100-90]", true, {{65, 65}, {100, 90}}},
      {"[10--5]", true, {{10, -5}}}, // a negative last is an empty range
      {"[+1-+2]", true, {{1, 2}}},
      {"[0-2147483647]", true, {{0, 2147483647}}},
      {"[-1-5]", false, {}}, // the sign is taken as the separator
      {"[65]", false, {}},
      {"[65-]", false, {}},
      {"[-65]", false, {}},
      {"[1-2-3]", false, {}},
      {"[32 - 126]", false, {}},
      {"[32-126,160-255]", false, {}},
  };
  check_list_grammar(cases);
}

TEST(CodePointLists, FileListGrammar) {
  const ListCase<Str, std::string> cases[] = {
      {"[ ]", true, {}},
      {"[ a b.ttf ,c.ttf,  ]", true, {"a b.ttf", "c.ttf"}}, // blanks inside a name stay
      {"[a.ttf, , b.ttf]", false, {}}, // only a trailing comma may end an empty item
      {"[a[1].ttf]", false, {}},
      {"a.ttf", false, {}},
  };
  check_list_grammar(cases);
}

TEST(CodePointLists, ParseStrReportsTheWholeValue) {
  List<int> sizes;
  try {
    parse_str(StrView("[16,24]"), sizes);
    FAIL() << "accepted";
  } catch (const Err &e) {
    EXPECT_EQ(message_of(e), "Cannot parse string: [16,24]");
  }
  List<CharRange> ranges;
  EXPECT_THROW(parse_str(StrView("oops"), ranges), Err);
}

} // namespace
