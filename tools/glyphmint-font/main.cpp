// glyphmint-font: reads the fonts that glyphmint bakes. `glyphmint-font
// COMMAND ...` runs one command; every failure is one line on standard error,
// "glyphmint-font: " and the message, with exit status 1.
#include "core/fmt.h"
#include "core/str-view.h"
#include "tools/glyphmint-font/commands.h"
#include "tools/glyphmint-font/console.h"

#include <cstdio>

#ifndef GLYPHMINT_VERSION
#error "the build defines GLYPHMINT_VERSION"
#endif

namespace {

struct Command {
  const char *name;
  const char *summary;
  int (*run)(i32 argc, const char *const *argv);
};

constexpr Command k_commands[] = {
    {"info", "Check a .fnt and its atlas, and describe them.", run_info},
    {"render", "Draw a text with a baked font into a PNG.", run_render},
    {"export", "Write a baked font in a BMFont form (text, xml, binary, json) or as C.",
     run_export},
    {"charset", "Print the settings lines for the code points a font has.", run_charset},
};

void print_help() {
  std::printf("Usage: glyphmint-font COMMAND [ARGUMENTS...]\n"
              "       glyphmint-font COMMAND --help\n"
              "\n"
              "Reads the fonts that glyphmint bakes.\n"
              "\n"
              "Commands:\n");
  for (const Command &c : k_commands) std::printf("  %-9s %s\n", c.name, c.summary);
  std::printf("\nOptions:\n"
              "  -h, --help     Print this help text.\n"
              "  --version      Print the version.\n");
}

int run(int argc, char **argv) {
  if (argc < 2) {
    print_help();
    return 1;
  }
  const StrView first(argv[1]);
  if (first == "--help" || first == "-h") {
    print_help();
    return 0;
  }
  if (first == "--version") {
    std::printf("glyphmint-font %s\n", GLYPHMINT_VERSION);
    return 0;
  }
  for (const Command &c : k_commands)
    if (first == c.name) return c.run(argc - 1, argv + 1);
  StrBuilder line;
  fmt(line, "Unknown command: ", EscapedControl{first}, "\n\n");
  std::fwrite(line.data, 1, line.len, stdout);
  print_help();
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const Err &e) {
    print_message(e.message.view());
    return 1;
  }
}
