// glyphmint-font's command line as users type it in a shell: empty words,
// "-", help and version, usage errors, outputs that are no regular file,
// long paths.
#include "tests/glyphmint-font/baked-sans.h"

#include <pty.h>
#include <sstream>

namespace {

TEST(CommandLine, EachGivesItsStatusAndFirstLine) {
  support::ScratchDir dir;
  int terminal = -1, side = -1;
  char tty[128];
  ASSERT_EQ(openpty(&terminal, &side, tty, nullptr, nullptr), 0);
  const std::string setup = "mkfifo fifo && mkdir dir && touch target && ln -s target link && "
                            "T=" GLYPHMINT_FONT_EXE " F=" +
                            baked_sans::bake().root.path() +
                            "/fonts/DejaVuSans-16.fnt L=$(printf %0600d 0) O=$(printf %0506d 0)"
                            " && $T render $F Hi hi.png && ";
  const std::pair<std::string, std::string> rows[] = {
      // the status, then the first line
      {"$T render $F '' o.png", "1 glyphmint-font: o.png: not written: the text makes an empty"},
      {"$T info ''", "1 glyphmint-font: the FONT.fnt path is empty"},
      {"$T export '' json x", "1 glyphmint-font: the FONT.fnt path is empty"},
      {"$T export $F json ''", "1 glyphmint-font: the OUT path is empty"},
      {"$T render --font '' $F a o.png", "1 glyphmint-font: the --font path is empty"},
      {"$T charset -f $F -t ''", "1 glyphmint-font: the --text path is empty"},
      {"$T render $F Hi - | cmp - hi.png", "0 "},
      {"$T render $F Hi - >" + std::string(tty),
       "1 glyphmint-font: standard output: is a terminal"},
      {"printf Hi | $T charset -f " + support::k_sans + " -t -", "0 ranges = []"},
      {"$T export $F json -", "1 glyphmint-font: -: is standard output, which cannot take the two"},
      {"$T --help info", "0 Usage: glyphmint-font info FONT.fnt"},
      {"$T help export", "0 Usage: glyphmint-font export [--page rgba|grey]"},
      {"$T info ${F%.fnt}.png", "1 glyphmint-font: " + baked_sans::bake().root.path() +
                                    "/fonts/DejaVuSans-16.png: is a PNG image, not a baked font"},
      {"$T --version", "0 glyphmint-font "},
      {"$T export $F json /dev/null; ls /dev/null_0.png",
       "2 glyphmint-font: /dev/null: is a character device, not a regular file; nothing was"},
      {"$T export $F json fifo; ls fifo_0.png", "2 glyphmint-font: fifo: is a FIFO, not a regular"},
      {"$T export $F json dir; ls dir_0.png",
       "2 glyphmint-font: dir: is a directory, not a regular"},
      {"$T export $F json link && test -L link -a -s target -a -s link_0.png", "0 "},
      {"$T info $L.fnt 2>e; s=$?; grep -o ': the path.*' e; exit $s",
       "1 : the path is too long (604 bytes; at most 508)"},
      {"$T export $F text $O 2>e; s=$?; grep -o '_0.png: the path.*' e; exit $s",
       "1 _0.png: the path is too long (512 bytes; at most 508)"},
  };
  for (const auto &[command, want] : rows) {
    support::ScratchDir work;
    const support::RunResult r =
        support::run_program("/bin/sh", {"-c", setup + command}, work.path(), dir.path());
    const std::string &said = r.err.empty() ? r.out : r.err;
    EXPECT_TRUE(
        (std::to_string(r.exit_code) + " " + said.substr(0, said.find('\n'))).starts_with(want))
        << command << "\n"
        << r;
  }
  close(side);
  close(terminal);
}

// Standard output may be the file the command was to write (render ... - >x.png),
// so a usage error goes to standard error only: its reason, then where the
// help is.
TEST(CommandLine, UsageErrorsGoToStandardErrorOnly) {
  const struct Row {
    std::string command; // F stands for the baked font
    std::string help;    // the command whose help the pointer names, if any
    std::string reason;
  } rows[] = {
      {"", "", "Missing argument: COMMAND"},
      {"--help infos", "", "Unknown command: infos"},
      {"--version extra", "", "Unexpected argument: extra"},
      {"help export extra", "export", "Unexpected argument: extra"},
      {"render F Hi", "render", "Missing argument: OUT.png"},
      {"render --scale two F Hi -", "render", "--scale takes an integer from 1 to 16."},
      {"render --sclae 2 F Hi -", "render", "Unknown flag: --sclae"},
      {"export F yaml o", "export", "Unknown format: yaml (text, xml, binary, json or c)"},
      {"export --page-size 128 F c o.h", "export", "--page-size does not apply to the c form."},
      {"export --padding -1 F text o", "export",
       "--padding takes N or UP,RIGHT,DOWN,LEFT, integers from 0 to 64."},
      {"export --name x9_ F c o.h", "export",
       "--name takes a C identifier that C and C++ do not reserve: a letter, then letters, "
       "digits or single _ between them."},
      {"charset --all", "charset", "Error: argument --font is required but not set!"},
      // A control byte is escaped, so that it cannot act on the terminal.
      {"preview F o.html \x1b[2J", "preview", "Unexpected argument: \\x1b[2J"},
  };
  for (const Row &row : rows) {
    std::vector<std::string> args;
    std::istringstream words(row.command);
    for (std::string w; words >> w;)
      args.push_back(w == "F" ? baked_sans::bake().root.path() + "/fonts/DejaVuSans-16.fnt" : w);
    support::ScratchDir work;
    const support::RunResult r = baked_sans::font_tool(args, work.path());
    const std::string pointer = row.help.empty() ? "" : " " + row.help;
    EXPECT_EQ(r.err, "glyphmint-font: " + row.reason + "\nTry 'glyphmint-font help" + pointer +
                         "' for more information.\n")
        << r;
    EXPECT_TRUE(r.exited && r.exit_code == 1 && r.out.empty() && support::tree(work.path()).empty())
        << r;
  }
}

} // namespace
