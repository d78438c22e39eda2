// glyphmint-font's command line as users type it in a shell: empty words,
// "-", help and version, malformed option values, outputs that are no
// regular file, long paths.
#include "tests/glyphmint-font/baked-sans.h"

#include <pty.h>

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
      {"$T export $F '' x", "1 Unknown format:  (text, xml, binary, json or c)"},
      {"$T render --font '' $F a o.png", "1 glyphmint-font: the --font path is empty"},
      {"$T charset -f $F -t ''", "1 glyphmint-font: the --text path is empty"},
      {"$T render $F Hi - | cmp - hi.png", "0 "},
      {"$T render $F Hi - >" + std::string(tty),
       "1 glyphmint-font: standard output: is a terminal"},
      {"printf Hi | $T charset -f " + support::k_sans + " -t -", "0 ranges = []"},
      {"$T export $F json -", "1 glyphmint-font: -: is standard output, which cannot take the two"},
      {"$T --help info", "0 Usage: glyphmint-font info FONT.fnt"},
      {"$T --help infos", "1 Unknown command: infos"},
      {"$T help export", "0 Usage: glyphmint-font export [--page rgba|grey]"},
      {"$T render --scale two $F a o.png", "1 --scale takes an integer from 1 to 16."},
      {"$T export --padding -1 $F text o", "1 --padding takes N or UP,RIGHT,DOWN,LEFT, integers"},
      {"$T export --name x9_ $F c o.h", "1 --name takes a C identifier that C and C++ do not"},
      {"$T info ${F%.fnt}.png", "1 glyphmint-font: " + baked_sans::bake().root.path() +
                                    "/fonts/DejaVuSans-16.png: is a PNG image, not a baked font"},
      {"$T --version extra", "1 Unexpected argument: extra"},
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

} // namespace
