#include "tools/glyphmint-font/console.h"

#include "core/fmt.h"

#include <cstdio>

void print_output(StrView text) {
  if (std::fwrite(text.data, 1, text.len, stdout) != text.len || std::fflush(stdout) != 0)
    throw Err("standard output: cannot be written");
}

void print_message(StrView message) {
  std::fflush(stdout);
  StrBuilder line;
  fmt(line, "glyphmint-font: ", EscapedControl{message}, "\n");
  std::fwrite(line.data, 1, line.len, stderr);
}
