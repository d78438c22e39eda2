// glyphmint-font: reads the fonts that glyphmint bakes. `glyphmint-font
// COMMAND ...` runs one command; every failure is one line on standard error,
// "glyphmint-font: " and the message, with exit status 1, and a usage error
// adds a line saying where its help is.
#include "core/fmt.h"
#include "core/prog-opts.h"
#include "core/str-view.h"
#include "shared/image.h"
#include "tools/glyphmint-font/cli/console.h"
#include "tools/glyphmint-font/commands.h"

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
    {"preview", "Write an HTML page that shows a baked font, its atlas and a sample.", run_preview},
};

Str help_text() {
  StrBuilder text;
  text.append("Usage: glyphmint-font COMMAND [ARGUMENTS...]\n"
              "       glyphmint-font COMMAND --help\n"
              "       glyphmint-font --help COMMAND\n"
              "       glyphmint-font help [COMMAND]\n"
              "\n"
              "Reads the fonts that glyphmint bakes.\n"
              "\n"
              "Commands:\n");
  for (const Command &c : k_commands) text.appendf("  %-9s %s\n", c.name, c.summary);
  text.append("\nOptions:\n"
              "  -h, --help     Print this help text, or with a command its own.\n"
              "  --version      Print the version.\n");
  return text.to_string();
}

const Command *find_command(StrView name) {
  for (const Command &c : k_commands)
    if (name == c.name) return &c;
  return nullptr;
}

// On standard error only: standard output may be a file the command was to
// write, such as render's PNG.
int usage_error(StrView reason, const Command *command = nullptr) {
  print_usage_error(reason, StrView(command != nullptr ? command->name : ""));
  return 1;
}

int unknown_command(StrView word) {
  return usage_error(
      fmt(StrView(word.starts_with('-') ? "Unknown flag: " : "Unknown command: "), word));
}

int run_command(const Command &command, i32 argc, const char *const *argv) {
  try {
    return command.run(argc, argv);
  } catch (const UsageError &e) {
    return usage_error(e.message.view(), &command);
  }
}

// glyphmint-font --help [COMMAND], or help [COMMAND] as git takes it: the
// command's help is its own --help.
int help(int argc, char **argv) {
  if (argc == 2) {
    print_output(help_text().view());
    return 0;
  }
  const Command *command = find_command(StrView(argv[2]));
  if (command == nullptr) return unknown_command(StrView(argv[2]));
  if (argc > 3) return usage_error(fmt("Unexpected argument: ", StrView(argv[3])), command);
  const char *const command_argv[] = {command->name, "--help"};
  return run_command(*command, 2, command_argv);
}

int run(int argc, char **argv) {
  ProgOpts::throw_usage_errors();
  if (argc < 2) return usage_error("Missing argument: COMMAND");
  const StrView first(argv[1]);
  if (first == "--help" || first == "-h" || first == "help") return help(argc, argv);
  if (first == "--version") {
    if (argc > 2) return usage_error(fmt("Unexpected argument: ", StrView(argv[2])));
    print_output(fmt("glyphmint-font ", StrView(GLYPHMINT_VERSION), "\n").view());
    return 0;
  }
  const Command *command = find_command(first);
  if (command == nullptr) return unknown_command(first);
  return run_command(*command, argc - 1, argv + 1);
}

} // namespace

int main(int argc, char **argv) {
  reuse_freed_image_memory();
  try {
    return run(argc, argv);
  } catch (const Err &e) {
    print_message(e.message.view());
    return 1;
  }
}
