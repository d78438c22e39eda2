#include "core/getopt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum : i32 { Dir = 1, Count, Scale, Name, Level, Verbose };

i32 g_bits = 0;

const getopt_entry k_opts[] = {
    {"help", 'h', GetoptNoValue, nullptr, 'h', "Print this help text.", nullptr},
    {"dir", 'd', GetoptRequiredStr, nullptr, Dir, "Fonts directory.", "path"},
    {"count", 'c', GetoptRequiredS32, nullptr, Count, "How many.", "n"},
    {"scale", 's', GetoptRequiredF32, nullptr, Scale, "Scale factor.", "f"},
    {"name", 0, GetoptOptionalStr, nullptr, Name, "Optional name.", "text"},
    {"level", 'l', GetoptOptionalS32, nullptr, Level, "Optional level.", "n"},
    {"verbose", 'v', GetoptNoValue, nullptr, Verbose, "Talk more.", nullptr},
    {"set", 0, GetoptFlagSet, &g_bits, 12, "Set bits.", nullptr},
    {"and", 0, GetoptFlagAnd, &g_bits, 6, "Mask bits.", nullptr},
    {"or", 0, GetoptFlagOr, &g_bits, 1, "Add bit.", nullptr},
    {nullptr, 0, 0, nullptr, 0, nullptr, nullptr},
};

// Every result of one pass as "result:current" separated by spaces; a number
// kind given a value adds "#value" so a parse shows what it stored.
std::string trace(std::vector<const char *> args, const getopt_entry *opts = k_opts) {
  args.insert(args.begin(), "prog");
  getopt_context ctx;
  if (getopt_create_context(&ctx, static_cast<i32>(args.size()), args.data(), opts) != 0)
    return "bad list";
  std::string out;
  for (i32 r; (r = getopt_next(&ctx)) != GetoptDone;) {
    if (!out.empty()) out += ' ';
    out += std::to_string(r) + ':' + (ctx.current_opt_arg ? ctx.current_opt_arg : "(null)");
    if (!ctx.current_opt_arg) continue;
    if (r == Count || r == Level) out += '#' + std::to_string(ctx.current_value.i);
    if (r == Scale) out += '#' + std::to_string(ctx.current_value.f);
  }
  return out;
}

TEST(Getopt, NextReportsEveryFormAUserCanType) {
  struct Row {
    std::vector<const char *> args;
    const char *expected;
  } rows[] = {
      {{}, ""},
      {{"--dir=x"}, "1:x"},
      {{"--dir", "x"}, "1:x"},
      {{"--dir", "=x"}, "1:x"},
      {{"--dir", "=", "x"}, "1:x"},
      {{"--DIR=x"}, "1:x"},
      {{"-d", "x"}, "1:x"},
      {{"--dir=a", "--dir=b"}, "1:a 1:b"},
      {{"--dir=", "-x"}, "1:-x"},
      // Missing values name the option and consume nothing that starts with '-'.
      {{"--dir"}, "33:dir"},
      {{"--dir="}, "33:dir"},
      {{"--dir", "="}, "33:dir"},
      {{"--dir", "-v"}, "33:dir 6:(null)"},
      {{"-d", "-v"}, "33:dir 6:(null)"},
      {{"-dx"}, "33:-dx"},
      {{"-d=x"}, "33:-d=x"},
      {{"-"}, "33:-"},
      {{"--"}, "33:--"},
      // An empty argument must not be scanned past its terminator.
      {{"", "--dir=x"}, "33: 1:x"},
      {{"--dirx=1"}, "63:--dirx=1"},
      {{"-q"}, "63:-q"},
      {{"fonts", "-d", "x"}, "43:fonts 1:x"},
      {{"--helpme"}, "104:(null)"},
      {{"--verbose=1"}, "6:(null)"},
      {{"-v", "x"}, "6:(null) 43:x"},
      {{"--count=0x10"}, "2:0x10#16"},
      {{"--count=010"}, "2:010#8"},
      {{"--count", ""}, "2:#0"},
      {{"--count=-5"}, "2:-5#-5"},
      {{"--count", "-5"}, "33:count 63:-5"},
      {{"-c", "-5"}, "33:count 63:-5"},
      {{"--count=12abc"}, "33:count"},
      {{"--count=0xFFFFFFFF"}, "2:0xFFFFFFFF#-1"},
      {{"--count=-2147483648"}, "2:-2147483648#-2147483648"},
      // Wider values used to come out as their low 32 bits: 4294967296 as 0.
      {{"--count=4294967296"}, "33:count"},
      {{"--count=-2147483649"}, "33:count"},
      {{"--count=99999999999999999999"}, "33:count"},
      {{"--scale=2.5"}, "3:2.5#2.500000"},
      {{"-s", "0.25"}, "3:0.25#0.250000"},
      {{"--scale=1.5x"}, "33:scale"},
      {{"--name"}, "4:(null)"},
      {{"--level"}, "5:(null)"},
      {{"--level=7"}, "5:7#7"},
      {{"-l", "x7"}, "33:level"},
  };
  for (const Row &row : rows) {
    std::string joined;
    for (const char *a : row.args) joined += std::string("[") + a + "]";
    EXPECT_EQ(trace(row.args), row.expected) << "args: " << joined;
  }
}

TEST(Getopt, FlagKindsChangeTheirTargetInOrder) {
  g_bits = 0xF0;
  EXPECT_EQ(trace({"--set", "--and", "--or"}), "0:(null) 0:(null) 0:(null)");
  EXPECT_EQ(g_bits, (12 & 6) | 1);
}

TEST(Getopt, CreateContextRejectsUnusableRecords) {
  i32 bits = 0;
  const getopt_entry bad[] = {
      {"a", 0, GetoptNoValue, nullptr, -1, "", nullptr},
      {"a", 0, GetoptNoValue, nullptr, '!', "", nullptr},
      {"a", 0, GetoptNoValue, nullptr, '+', "", nullptr},
      {"a", 0, GetoptNoValue, nullptr, '?', "", nullptr},
      {"-a", 0, GetoptNoValue, nullptr, 5, "", nullptr},
      {"a", 0, 10, nullptr, 5, "", nullptr},
      {"a", 0, GetoptFlagOr, nullptr, 5, "", nullptr}, // would write through null
  };
  for (const getopt_entry &e : bad) {
    const getopt_entry opts[] = {{"ok", 'o', GetoptFlagSet, &bits, 1, "", nullptr}, e, {}};
    const char *argv[] = {"prog"};
    getopt_context ctx;
    EXPECT_EQ(getopt_create_context(&ctx, 1, argv, opts), -1) << "row " << &e - bad;
  }
}

std::string help(const getopt_entry *opts, u64 size) {
  const char *argv[] = {"prog"};
  getopt_context ctx;
  EXPECT_EQ(getopt_create_context(&ctx, 1, argv, opts), 0);
  std::vector<char> buf(size + 16, '@');
  EXPECT_EQ(getopt_create_help_string(&ctx, buf.data(), size), buf.data());
  for (u64 i = size; i < buf.size(); ++i) EXPECT_EQ(buf[i], '@') << "overrun at " << i;
  return size ? std::string(buf.data()) : std::string();
}

TEST(Getopt, HelpStringDecoratesOnlyTextKinds) {
  EXPECT_EQ(help(k_opts, 4096), "-h --help                           - Print this help text.\n"
                                "-d --dir=<path>                     - Fonts directory.\n"
                                "-c --count                          - How many.\n"
                                "-s --scale                          - Scale factor.\n"
                                "   --name(=text)                    - Optional name.\n"
                                "-l --level                          - Optional level.\n"
                                "-v --verbose                        - Talk more.\n"
                                "   --set                            - Set bits.\n"
                                "   --and                            - Mask bits.\n"
                                "   --or                             - Add bit.\n");
}

TEST(Getopt, HelpStringPadsButNeverCutsLongNamesBelowTheField) {
  const std::string name40(40, 'n'), name70(70, 'm');
  const getopt_entry opts[] = {{name40.c_str(), 'x', GetoptNoValue, nullptr, 1, "forty", nullptr},
                               {name70.c_str(), 0, GetoptNoValue, nullptr, 2, "cut", nullptr},
                               {"v", 'v', GetoptRequiredStr, nullptr, 3, nullptr, nullptr},
                               {}};
  EXPECT_EQ(help(opts, 4096), "-x --" + name40 + " - forty\n" + "   --" + name70.substr(0, 61) +
                                  " - cut\n" + "-v --v=<>                           - \n");
}

TEST(Getopt, HelpStringCutsAtTheBufferAndAddsNoLaterLine) {
  const std::string full = help(k_opts, 4096);
  for (u64 size = 0; size <= full.size() + 2; ++size)
    EXPECT_EQ(help(k_opts, size), full.substr(0, size ? size - 1 : 0)) << "size " << size;
}

} // namespace
