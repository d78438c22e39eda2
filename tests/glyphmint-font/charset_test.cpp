// glyphmint-font charset, run as a program: its sets checked against FreeType
// called directly, and its lines pasted into a settings file for the baker.
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

using support::RunResult;
using CodeSet = std::set<u32>;

const std::string &k_font = support::k_sans;

RunResult charset(const support::ScratchDir &dir, std::vector<std::string> args,
                  long rss_limit_kib = 0) {
  args.insert(args.begin(), "charset");
  return support::run_program(GLYPHMINT_FONT_EXE, args, dir.path(), dir.path(), 120, rss_limit_kib);
}

// The oracle: the code points of first..last that FreeType maps to a glyph, asked one by one.
CodeSet font_has(u32 first, u32 last) {
  const support::RefFace face(k_font, 8);
  CodeSet has;
  for (u32 c = first; c <= last; ++c)
    if (face.has(static_cast<int>(c))) has.insert(c);
  return has;
}

CodeSet span(u32 first, u32 last) {
  CodeSet s;
  for (u32 c = first; c <= last; ++c) s.insert(c);
  return s;
}

CodeSet minus(CodeSet a, const CodeSet &b) {
  for (const u32 c : b) a.erase(c);
  return a;
}

// The runs of consecutive code points, ascending.
std::vector<std::pair<u32, u32>> runs_of(const CodeSet &set) {
  std::vector<std::pair<u32, u32>> runs;
  for (const u32 c : set)
    if (!runs.empty() && runs.back().second + 1 == c)
      runs.back().second = c;
    else
      runs.emplace_back(c, c);
  return runs;
}

// The expected lines: runs of three or more are ranges, the rest chars, both ascending.
std::string lines_for(const CodeSet &set) {
  std::string ranges, chars;
  for (const auto &[first, last] : runs_of(set)) {
    if (last - first >= 2)
      ranges += (ranges.empty() ? "" : ", ") + std::to_string(first) + "-" + std::to_string(last);
    else
      for (u32 c = first; c <= last; ++c) chars += (chars.empty() ? "" : ", ") + std::to_string(c);
  }
  return "ranges = [" + ranges + "]\nchars = [" + chars + "]\n";
}

std::string missing_note(const CodeSet &missing) {
  std::string runs;
  char item[32];
  for (const auto &[first, last] : runs_of(missing)) {
    std::snprintf(item, sizeof item, first == last ? "U+%04X" : "U+%04X-U+%04X", first, last);
    runs += (runs.empty() ? "" : ", ") + std::string(item);
  }
  const std::string n = std::to_string(missing.size());
  return "glyphmint-font: " + k_font + " lacks " + n + " requested code point" +
         (missing.size() == 1 ? "" : "s") + ": " + runs + "\n";
}

// Pastes the lines into a settings file, bakes at size 8 and returns the baked code points.
CodeSet bake(const support::ScratchDir &dir, const std::string &lines) {
  std::filesystem::create_symlink(k_font, dir.path() + "/DejaVuSans.ttf");
  support::write_file(dir.path() + "/s.glyphmint.ini",
                      "path = DejaVuSans.ttf\nsizes = [8]\n" + lines);
  const RunResult r =
      support::run_program(GLYPHMINT_EXE, {"--dir", dir.path()}, dir.path(), dir.path());
  EXPECT_TRUE(r.exited && r.exit_code == 0) << r;
  support::FntFile fnt;
  std::string why;
  EXPECT_TRUE(support::parse_fnt(support::read_file(dir.path() + "/DejaVuSans-8.fnt"), fnt, why))
      << why;
  CodeSet baked;
  for (const gm_glyph &g : fnt.records) baked.insert(u32(g.code));
  return baked;
}

TEST(Charset, RangesPrintWhatFreeTypeMapsReportTheRestAndBake) {
  support::ScratchDir dir;
  const RunResult r = charset(dir, {"--font", k_font, "--ranges", "[32-1279]"});
  ASSERT_TRUE(r.exited && r.exit_code == 0) << r;
  const CodeSet has = font_has(32, 1279);
  EXPECT_EQ(r.out, lines_for(has));
  EXPECT_EQ(r.err, missing_note(minus(span(32, 1279), has)));
  EXPECT_EQ(bake(dir, r.out), has);
}

TEST(Charset, AllPrintsEveryMappedCodePointAndBakes) {
  support::ScratchDir dir;
  const RunResult r = charset(dir, {"--font", k_font, "--all"});
  ASSERT_TRUE(r.exited && r.exit_code == 0) << r;
  const CodeSet has = font_has(0, 0x10FFFF);
  EXPECT_EQ(r.out, lines_for(has));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(bake(dir, r.out), has);

  // A request this wide must stay one run, not a table of two billion entries.
  const RunResult widest = charset(dir, {"-f", k_font, "-r", "[0-2147483647]"}, 200 * 1024);
  ASSERT_TRUE(widest.exited && widest.exit_code == 0) << widest;
  EXPECT_EQ(widest.out, r.out);
  const std::string lacking = std::to_string((u64{1} << 31) - has.size());
  EXPECT_EQ(widest.err.find(" lacks " + lacking + " requested code points: U+0000-"),
            16 + k_font.size())
      << widest.err;
  EXPECT_NE(widest.err.find("-U+7FFFFFFF\n"), std::string::npos) << widest.err;
}

TEST(Charset, TextFilesGiveTheirCharactersAndBake) {
  support::ScratchDir dir;
  const u32 rocket = 0x1F680;
  support::write_file(dir.path() + "/a.txt", "Hello, Grüße!\r\n\tΚαλημέρα\n");
  support::write_file(dir.path() + "/b.txt", "Привет \xF0\x9F\x9A\x80");
  const RunResult r = charset(dir, {"--font", k_font, "--text", "a.txt", "-t", "b.txt"});
  ASSERT_TRUE(r.exited && r.exit_code == 0) << r;
  const CodeSet requested = {'H',   'e',   'l',   'o',   ',',   ' ',   'G',   'r',   0xFC,
                             0xDF,  '!',   0x39A, 0x3B1, 0x3BB, 0x3B7, 0x3BC, 0x3AD, 0x3C1,
                             0x41F, 0x440, 0x438, 0x432, 0x435, 0x442, rocket};
  const CodeSet has = minus(requested, {rocket});
  for (const u32 c : requested)
    ASSERT_EQ(font_has(c, c).size(), has.count(c)) << "only the emoji may be one the font lacks";
  EXPECT_EQ(r.out, lines_for(has));
  EXPECT_EQ(r.err, missing_note({rocket}));
  EXPECT_EQ(bake(dir, r.out), has);
}

TEST(Charset, TextFileEdgeCases) {
  struct Row {
    const char *what;
    std::string text;
    std::string out; // empty for a failure, with err on standard error
    std::string err;
  } rows[] = {
      {"three make a range", "CAB", "ranges = [65-67]\nchars = []\n", ""},
      {"byte-order mark ignored",
       "\xEF\xBB\xBF"
       "AB",
       "ranges = []\nchars = [65, 66]\n", ""},
      {"CR LF and tabs left out", "A\r\n\tB\r\n", "ranges = []\nchars = [65, 66]\n", ""},
      {"empty file", "", "ranges = []\nchars = []\n", ""},
      {"invalid byte", "ab\xFF", "", "t.txt: invalid UTF-8 (offset 2)"},
      {"offset counts the mark",
       "\xEF\xBB\xBF"
       "a\xC3(",
       "", "t.txt: invalid UTF-8 (offset 4)"},
      {"cut-off sequence", "a\xE2\x82", "", "t.txt: invalid UTF-8 (offset 1)"},
  };
  for (const Row &row : rows) {
    support::ScratchDir dir;
    support::write_file(dir.path() + "/t.txt", row.text);
    const RunResult r = charset(dir, {"--font", k_font, "--text", "t.txt"});
    EXPECT_TRUE(r.exited && r.exit_code == (row.out.empty() ? 1 : 0)) << row.what << "\n" << r;
    EXPECT_EQ(r.out, row.out) << row.what;
    EXPECT_EQ(r.err, row.err.empty() ? "" : "glyphmint-font: " + row.err + "\n") << row.what;
  }
}

TEST(Charset, OptionsAndFailures) {
  support::ScratchDir dir;
  support::write_file(dir.path() + "/not-a-font.ttf", "plain text");
  std::filesystem::create_symlink(k_font, dir.path() + "/a\x1b[2J.ttf");
  const std::string k_see_help = "Try 'glyphmint-font help charset' for more information.\n";
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } rows[] = {
      {{"-f", k_font, "-r", "[65-66]", "-r", "[67-70, 10-5]"},
       0,
       "ranges = [65-70]\nchars = []\n",
       ""},
      {{"-f", k_font, "-r", "[888-889, 65-65]", "--strict"}, 1, "", missing_note({888, 889})},
      {{"-f", "a\x1b[2J.ttf", "-r", "[888-888]"},
       0,
       "ranges = []\nchars = []\n",
       "glyphmint-font: a\\x1b[2J.ttf lacks 1 requested code point: U+0378\n"},
      {{"-f", k_font, "-r", "[65-66,67]"},
       1,
       "",
       "glyphmint-font: --ranges [65-66,67]: not a list of ranges such as [32-126, 880-1023]\n"},
      {{"-f", k_font, "-t", "none.txt"},
       1,
       "",
       "glyphmint-font: none.txt: cannot be opened (No such file or directory)\n"},
      {{"-f", "not-a-font.ttf", "--all"},
       1,
       "",
       "glyphmint-font: not-a-font.ttf: not a font FreeType can open\n"},
      {{"-f", "missing.ttf", "--all"},
       1,
       "",
       "glyphmint-font: missing.ttf: not found or not a regular file\n"},
      {{"-f", k_font},
       1,
       "",
       "glyphmint-font: Nothing requested: give --text, --ranges or --all.\n" + k_see_help},
      {{"-f", k_font, "--all", "extra"},
       1,
       "",
       "glyphmint-font: Unexpected argument: extra\n" + k_see_help},
  };
  for (const Row &row : rows) {
    std::string args;
    for (const std::string &a : row.args) args += "[" + a + "]";
    const RunResult r = charset(dir, row.args);
    EXPECT_TRUE(r.exited && r.exit_code == row.status) << args << "\n" << r;
    EXPECT_EQ(r.out, row.out) << args;
    EXPECT_EQ(r.err, row.err) << args;
  }
}

} // namespace
