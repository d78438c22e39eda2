#include "tools/glyphmint-font/cli/given-paths.h"

Path given_path(StrView text, const char *what) {
  if (text.empty()) throw Err(fmt("the ", StrView(what), " path is empty"));
  return Path(text);
}

void require_short_path(const Path &path) {
  if (path.text.len > Path::max_os_length)
    throw Err(fmt(path, ": the path is too long (", path.text.len, " bytes; at most ",
                  Path::max_os_length, ")"));
}

bool is_standard_stream(StrView word) {
  return word == "-";
}
