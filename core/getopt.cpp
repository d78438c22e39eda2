#include "core/getopt.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

bool is_end(const getopt_entry &e) {
  return e.name == nullptr && e.name_short == 0;
}

bool takes_value(i32 kind) {
  return kind >= GetoptRequiredStr && kind <= GetoptOptionalF32;
}

// Anything that reports a value problem must name the option; a record without
// a long name can only be named by what the user typed.
const char *option_label(const getopt_entry &e, const char *typed) {
  return e.name != nullptr ? e.name : typed;
}

i32 with_value(getopt_context *ctx, const getopt_entry &e, const char *value) {
  ctx->current_opt_arg = value;
  if (e.kind >= GetoptRequiredS32 && e.kind <= GetoptOptionalF32) return getopt_read_value(ctx, &e);
  return e.value;
}

i32 without_value(getopt_context *ctx, const getopt_entry &e, const char *typed) {
  switch (e.kind) {
  case GetoptRequiredStr:
  case GetoptRequiredS32:
  case GetoptRequiredF32:
    ctx->current_opt_arg = option_label(e, typed);
    return GetoptInvalid;
  case GetoptFlagSet:
    *e.flag = e.value;
    return GetoptFlagApplied;
  case GetoptFlagAnd:
    *e.flag &= e.value;
    return GetoptFlagApplied;
  case GetoptFlagOr:
    *e.flag |= e.value;
    return GetoptFlagApplied;
  default:
    return e.value;
  }
}

// The next argument, or null when none is left.
const char *peek(const getopt_context *ctx) {
  return ctx->current_index < ctx->argc ? ctx->argv[ctx->current_index] : nullptr;
}

bool is_dash_word(const getopt_context *ctx, const char *arg) {
  return ctx->blank_and_dash_are_words && arg[0] == '-' && arg[1] == '\0';
}

// Whether an argument after an option is another option rather than its value.
bool starts_option(const getopt_context *ctx, const char *arg) {
  return arg[0] == '-' && !is_dash_word(ctx, arg);
}

i32 next_long(getopt_context *ctx, const char *arg) {
  const char *s = arg + 2;
  for (i32 k = 0; k < ctx->num_opts; ++k) {
    const getopt_entry &e = ctx->opts[k];
    if (e.name == nullptr) continue;
    const u64 n = strlen(e.name);
    if (strncasecmp(s, e.name, n) != 0) continue;
    if (!takes_value(e.kind)) return without_value(ctx, e, arg);

    const char *rest = s + n;
    if (rest[0] == '=' && rest[1] != '\0') return with_value(ctx, e, rest + 1);
    if (rest[0] == '=') {
      const char *next = peek(ctx);
      if (next == nullptr) return without_value(ctx, e, arg);
      ++ctx->current_index;
      return with_value(ctx, e, next);
    }
    if (rest[0] != '\0') continue; // "--dirx" is not "--dir"

    const char *next = peek(ctx);
    if (next == nullptr || starts_option(ctx, next)) return without_value(ctx, e, arg);
    ++ctx->current_index;
    if (next[0] != '=') return with_value(ctx, e, next);
    if (next[1] != '\0') return with_value(ctx, e, next + 1);
    const char *after = peek(ctx); // "--dir = x"
    if (after == nullptr) return without_value(ctx, e, arg);
    ++ctx->current_index;
    return with_value(ctx, e, after);
  }
  ctx->current_opt_arg = arg;
  return GetoptUnknown;
}

i32 next_short(getopt_context *ctx, const char *arg) {
  if (arg[2] != '\0') { // "-dx", "-d=x": values of short options stand apart
    ctx->current_opt_arg = arg;
    return GetoptInvalid;
  }
  for (i32 k = 0; k < ctx->num_opts; ++k) {
    const getopt_entry &e = ctx->opts[k];
    if (e.name_short != arg[1]) continue;
    const char *next = peek(ctx);
    if (next == nullptr || starts_option(ctx, next) || !takes_value(e.kind))
      return without_value(ctx, e, arg);
    ++ctx->current_index;
    return with_value(ctx, e, next);
  }
  ctx->current_opt_arg = arg;
  return GetoptUnknown;
}

} // namespace

i32 getopt_create_context(getopt_context *ctx, i32 argc, const char *const *argv,
                          const getopt_entry *opts) {
  if (argc >= 2) {
    ctx->argc = argc - 1;
    ctx->argv = argv + 1;
  } else {
    ctx->argc = 0;
    ctx->argv = argv;
  }
  ctx->opts = opts;
  ctx->num_opts = 0;
  ctx->current_index = 0;
  ctx->current_opt_arg = nullptr;
  ctx->current_value.i = 0;
  ctx->blank_and_dash_are_words = false;

  for (i32 k = 0; !is_end(opts[k]); ++k) {
    const getopt_entry &e = opts[k];
    if (e.value == GetoptDone || e.value == GetoptInvalid || e.value == GetoptNotOption ||
        e.value == GetoptUnknown)
      return -1;
    if (e.name != nullptr && e.name[0] == '-') return -1;
    if (e.kind < GetoptNoValue || e.kind > GetoptFlagOr) return -1;
    if (e.kind >= GetoptFlagSet && e.flag == nullptr) return -1;
    ctx->num_opts = k + 1;
  }
  return 0;
}

i32 getopt_next(getopt_context *ctx) {
  if (ctx->current_index >= ctx->argc) return GetoptDone;

  ctx->current_opt_arg = nullptr;
  const char *arg = ctx->argv[ctx->current_index++];

  // An empty argument is neither an option nor a word the program asked for;
  // it is usually an unset shell variable, so it is reported, not skipped.
  // Programs that take words take it as one and say what is wrong with it.
  if (arg[0] == '\0' || is_dash_word(ctx, arg)) {
    ctx->current_opt_arg = arg;
    return ctx->blank_and_dash_are_words ? GetoptNotOption : GetoptInvalid;
  }
  if (arg[0] != '-') {
    ctx->current_opt_arg = arg;
    return GetoptNotOption;
  }
  if (arg[1] == '\0' || (arg[1] == '-' && arg[2] == '\0')) {
    ctx->current_opt_arg = arg;
    return GetoptInvalid;
  }
  return arg[1] == '-' ? next_long(ctx, arg) : next_short(ctx, arg);
}

i32 getopt_read_value(getopt_context *ctx, const getopt_entry *opt) {
  const char *text = ctx->current_opt_arg;
  char *end = nullptr;
  if (opt->kind == GetoptRequiredF32 || opt->kind == GetoptOptionalF32) {
    const f32 v = strtof(text, &end);
    if (*end != '\0') {
      ctx->current_opt_arg = option_label(*opt, text);
      return GetoptInvalid;
    }
    ctx->current_value.f = v;
    return opt->value;
  }

  errno = 0;
  const long v = strtol(text, &end, 0);
  // Both signed and unsigned 32-bit spellings are accepted (0xFFFFFFFF is a bit
  // pattern people write for -1), but wider values would come out as garbage.
  const bool fits = errno != ERANGE && v >= INT32_MIN && v <= static_cast<long>(UINT32_MAX);
  if (*end != '\0' || !fits) {
    ctx->current_opt_arg = option_label(*opt, text);
    return GetoptInvalid;
  }
  ctx->current_value.i = static_cast<i32>(static_cast<u32>(v));
  return opt->value;
}

char *getopt_create_help_string(getopt_context *ctx, char *buffer, u64 size) {
  if (size == 0) return buffer;
  buffer[0] = '\0';
  u64 used = 0;
  for (i32 k = 0; k < ctx->num_opts; ++k) {
    const getopt_entry &e = ctx->opts[k];
    const char *value_desc = e.value_desc != nullptr ? e.value_desc : "";
    const char *desc = e.desc != nullptr ? e.desc : "";

    // Over-long names are cut to the field; snprintf keeps it terminated.
    char name[64];
    const char *dashes = e.name != nullptr ? "--" : "";
    const char *long_name = e.name != nullptr ? e.name : "";
    const char *eq = e.name != nullptr ? "=" : "";
    if (e.kind == GetoptRequiredStr)
      str_format(name, sizeof name, "%s%s%s<%s>", dashes, long_name, eq, value_desc);
    else if (e.kind == GetoptOptionalStr)
      str_format(name, sizeof name, "%s%s(%s%s)", dashes, long_name, eq, value_desc);
    else
      str_format(name, sizeof name, "%s%s", dashes, long_name);

    i32 n;
    if (e.name_short != 0)
      n = str_format(buffer + used, size - used, "-%c %-32s - %s\n", e.name_short, name, desc);
    else
      n = str_format(buffer + used, size - used, "   %-32s - %s\n", name, desc);
    if (n < 0) {
      buffer[used] = '\0'; // a failed format may leave anything behind
      break;
    }
    if (static_cast<u64>(n) >= size - used) break; // cut at the buffer's end
    used += static_cast<u64>(n);
  }
  return buffer;
}

i32 str_format(char *buffer, u64 size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  const i32 n = vsnprintf(buffer, size, format, args);
  va_end(args);
  return n;
}
