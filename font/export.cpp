#include "font/commands.h"

#include "core/str.h"

int run_export(i32, const char *const *) {
  throw Err("export: not available yet");
}
