#include "tools/glyphmint-font/cli/console.h"

#include "core/fmt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

void print_output(StrView text) {
  errno = 0;
  if (std::fwrite(text.data, 1, text.len, stdout) != text.len || std::fflush(stdout) != 0)
    throw Err(fmt("standard output: cannot be written (",
                  StrView(std::strerror(errno != 0 ? errno : EIO)), ")"));
}

void print_message(StrView message) {
  std::fflush(stdout);
  StrBuilder line;
  fmt(line, "glyphmint-font: ", EscapedControl{message}, "\n");
  std::fwrite(line.data, 1, line.len, stderr);
}

void print_usage_error(StrView reason, StrView command) {
  print_message(reason);
  StrBuilder line;
  fmt(line, "Try 'glyphmint-font help", StrView(command.empty() ? "" : " "), command,
      "' for more information.\n");
  std::fwrite(line.data, 1, line.len, stderr);
}
