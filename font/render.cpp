#include "font/commands.h"

#include "core/str.h"

int run_render(i32, const char *const *) {
  throw Err("render: not available yet");
}
