// glyphmint-font's command line as users type it: empty words, "-", help
// and version, outputs that are no regular file, paths over the limit.
#include "tests/glyphmint-font/baked-sans.h"

#include <pty.h>

namespace {

using baked_sans::bake;
using support::RunResult;

std::string first_line(const std::string &text) {
  return text.substr(0, text.find('\n'));
}

TEST(CommandLine, EachGivesItsStatusAndFirstLine) {
  const std::string fnt = bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  const std::string long_path = std::string(600, 'a') + ".fnt", long_out(506, 'o');
  support::ScratchDir dir;
  const std::string d = dir.path();
  ASSERT_EQ(mkfifo((d + "/fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(d + "/dir");
  support::write_file(d + "/target", "");
  std::filesystem::create_symlink("target", d + "/link");
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string first; // of standard error when it says anything, else of standard output
  } rows[] = {
      {{"render", fnt, "", "o.png"}, 1, "glyphmint-font: o.png: not written: the text makes an "},
      {{"info", ""}, 1, "glyphmint-font: the FONT.fnt path is empty"},
      {{"export", "", "json", "x"}, 1, "glyphmint-font: the FONT.fnt path is empty"},
      {{"export", fnt, "json", ""}, 1, "glyphmint-font: the OUT path is empty"},
      {{"export", fnt, "", "x"}, 1, "Unknown format:  (text, xml, binary or json)"},
      {{"render", "--font", "", fnt, "a", "o.png"}, 1, "glyphmint-font: the --font path is empty"},
      {{"charset", "-f", support::k_sans, "-t", ""}, 1, "glyphmint-font: the --text path is empty"},
      {{"export", fnt, "json", "-"},
       1,
       "glyphmint-font: -: is standard output, which cannot take "},
      {{"--help", "info"}, 0, "Usage: glyphmint-font info FONT.fnt"},
      {{"--help", "infos"}, 1, "Unknown command: infos"},
      {{"--version", "extra"}, 1, "Unexpected argument: extra"},
      {{"--version"}, 0, "glyphmint-font "},
      {{"export", fnt, "json", "/dev/null"},
       1,
       "glyphmint-font: /dev/null: is a character device, not a regular file; nothing was written"},
      {{"export", fnt, "json", "fifo"}, 1, "glyphmint-font: fifo: is a FIFO, not a regular file"},
      {{"export", fnt, "json", "dir"},
       1,
       "glyphmint-font: dir: is a directory, not a regular file"},
      {{"export", fnt, "json", "link"}, 0, ""},
      {{"info", long_path},
       1,
       "glyphmint-font: " + long_path + ": the path is too long (604 bytes; at most 508)"},
      {{"export", fnt, "text", long_out},
       1,
       "glyphmint-font: " + long_out + "_0.png: the path is too long (512 bytes; at most 508)"},
  };
  for (const Row &row : rows) {
    const RunResult r = baked_sans::font_tool(row.args, d);
    EXPECT_EQ(r.exit_code, row.status) << r;
    EXPECT_TRUE(first_line(r.err.empty() ? r.out : r.err).starts_with(row.first)) << r;
  }
  EXPECT_FALSE(support::entry_exists("/dev/null_0.png"));
  // tree() names the link by its target.
  EXPECT_EQ(support::tree(d), (std::set<std::string>{"fifo", "dir", "target", "link_0.png"}));
  EXPECT_TRUE(std::filesystem::is_symlink(d + "/link"));
  EXPECT_NE(support::read_file(d + "/target"), "");
}

TEST(CommandLine, DashIsTheStandardStreams) {
  const std::string fnt = bake().root.path() + "/fonts/DejaVuSans-16.fnt";
  support::ScratchDir dir;
  const auto shell = [&](const std::string &command) {
    return support::run_program("/bin/sh", {"-c", command}, dir.path(), bake().captures.path());
  };
  const std::string tool = std::string("'") + GLYPHMINT_FONT_EXE + "' ";
  ASSERT_EQ(baked_sans::font_tool({"render", fnt, "Hi", "hi.png"}, dir.path()).exit_code, 0);
  const RunResult png = shell(tool + "render '" + fnt + "' Hi -");
  EXPECT_EQ(png.exit_code, 0) << png;
  EXPECT_EQ(support::first_difference(png.out, support::read_file(dir.path() + "/hi.png")), "");
  const RunResult lines =
      shell("printf Hi | " + tool + "charset --font " + support::k_sans + " --text -");
  EXPECT_EQ(lines.out, "ranges = []\nchars = [72, 105]\n") << lines;

  int terminal = -1, side = -1;
  char name[128];
  ASSERT_EQ(openpty(&terminal, &side, name, nullptr, nullptr), 0);
  const RunResult refused = shell(tool + "render '" + fnt + "' Hi - >" + name);
  close(side);
  close(terminal);
  EXPECT_EQ(refused.exit_code, 1) << refused;
  EXPECT_EQ(refused.err, "glyphmint-font: standard output: is a terminal; redirect it to a file "
                         "or a pipe\n");
}

} // namespace
