#include "font/commands.h"

#include "core/str.h"

int run_charset(i32, const char *const *) {
  throw Err("charset: not available yet");
}
