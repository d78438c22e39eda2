// glyphmint: bakes bitmap font atlases for every *.glyphmint.ini settings file
// in a fonts directory. A failure reported as Err ends the run with its
// message on stderr, control bytes escaped, and exit status 1; fatal stops
// log a CRIT line and abort.
#include "core/fs.h"
#include "core/log.h"
#include "core/prog-opts.h"
#include "shared/image.h"
#include "tools/glyphmint/bake/bake.h"
#include "tools/glyphmint/glyphs/glyph.h"
#include "tools/glyphmint/jobs.h"

#include <cstdio>

namespace {

Str g_dir;

int run(int argc, char **argv) {
  // Started first, as a failure to start it has always ended the run before
  // anything else happened.
  FontLibrary fonts;
  require_started(fonts);
  ProgOpts::add(ProgOpts::ArgumentStr{"dir", 'd', "Directory with *.glyphmint.ini settings.", "...",
                                      &g_dir, ProgOpts::Optional});
  ProgOpts::parse(argc, argv);
  const int jobs = bake_jobs();
  if (g_dir.empty()) g_dir = ".";

  const Path dir = Path(g_dir.view()).absolute();
  log_info("Fonts dir: ", dir);
  bake_dir(dir, fonts, jobs);
  log_info("Done!");
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  reuse_freed_image_memory();
  try {
    return run(argc, argv);
  } catch (const Err &e) {
    std::fflush(stdout);
    // The message may repeat a settings value or a file name byte for byte;
    // on a terminal those bytes must not act as control sequences.
    StrBuilder line;
    fmt(line, EscapedControl{e.message.view()}, '\n');
    std::fwrite(line.data, 1, line.len, stderr);
    return 1;
  }
}
