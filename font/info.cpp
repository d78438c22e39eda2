#include "font/commands.h"

#include "core/str.h"

int run_info(i32, const char *const *) {
  throw Err("info: not available yet");
}
