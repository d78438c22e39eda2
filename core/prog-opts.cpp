#include "core/prog-opts.h"

#include "core/fmt.h"
#include "core/getopt.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct ArgBinding {
  void *target = nullptr;
  i32 type = ProgOpts::TypeStr;
  i32 flags = ProgOpts::Optional;
  u8 is_argument = 0;
  u8 is_set = 0;
  const char *value_error = nullptr;
};

struct FlagBinding {
  bool *target = nullptr;
  u8 is_flag = 0;
};

constexpr u64 g_capacity = 32;
constexpr i32 g_help_value = 'h';

// A slot index is the option's identity: the record's value is its slot, so a
// result of getopt_next leads straight back to the bindings. All three arrays
// are constant-initialised, so registering from other static initialisers is safe.
getopt_entry g_opts[g_capacity] = {
    {"help", 'h', GetoptNoValue, nullptr, g_help_value, "Print this help text.", nullptr},
};
u64 g_opts_count = 1;
ArgBinding g_args[g_capacity];
const char *g_synopsis = nullptr;
bool g_throw_usage_errors = false;
FlagBinding g_flags[g_capacity];

// The slot after the last one in use ends the record list, so it must stay zero.
u64 take_slot(const char *name, const void *target) {
  if (name == nullptr) {
    fprintf(stderr, "Cannot register a program option without a long name\n");
    abort();
  }
  if (target == nullptr) {
    fprintf(stderr, "Cannot register option --%s: it has no target variable\n", name);
    abort();
  }
  if (g_opts_count + 1 >= g_capacity) {
    fprintf(stderr, "Cannot register option --%s: at most %d options fit besides --help\n", name,
            static_cast<int>(g_capacity - 2));
    abort();
  }
  return g_opts_count++;
}

i32 kind_of(ProgOpts::ArgumentType type, const char *name) {
  switch (type) {
  case ProgOpts::TypeS32:
    return GetoptRequiredS32;
  case ProgOpts::TypeF32:
    return GetoptRequiredF32;
  case ProgOpts::TypeStr:
  case ProgOpts::TypeStrList:
    return GetoptRequiredStr;
  }
  fprintf(stderr, "Cannot register option --%s: unknown argument type %d\n", name,
          static_cast<int>(type));
  abort();
}

} // namespace

void ProgOpts::add(const Flag &f) {
  const u64 slot = take_slot(f.name, f.target);
  g_opts[slot] = {f.name, f.name_short, GetoptNoValue, nullptr, static_cast<i32>(slot),
                  f.desc, nullptr};
  g_flags[slot] = {f.target, 1};
}

void ProgOpts::add(const ArgumentStr &a) {
  add_argument(a.name, a.name_short, a.desc, a.value_desc, a.target, TypeStr, a.flags);
}

void ProgOpts::add(const ArgumentStrList &a) {
  add_argument(a.name, a.name_short, a.desc, a.value_desc, a.target, TypeStrList, a.flags);
}

void ProgOpts::add(const ArgumentF32 &a) {
  add_argument(a.name, a.name_short, a.desc, a.value_desc, a.target, TypeF32, a.flags);
}

void ProgOpts::add(const ArgumentS32 &a) {
  add_argument(a.name, a.name_short, a.desc, a.value_desc, a.target, TypeS32, a.flags);
}

void ProgOpts::add_argument(const char *name, char name_short, const char *desc,
                            const char *value_desc, void *target, ArgumentType type, Flags flags) {
  const u64 slot = take_slot(name, target);
  const i32 kind = kind_of(type, name);
  g_opts[slot] = {name, name_short, kind, nullptr, static_cast<i32>(slot), desc, value_desc};
  g_args[slot] = {target, type, flags, 1, 0};
}

void ProgOpts::parse(i32 argc, const char *const *argv) {
  parse_words(argc, argv, nullptr, nullptr);
}

u64 ProgOpts::parse(i32 argc, const char *const *argv, ArrView<StrView> words,
                    const char *const *names) {
  return parse_words(argc, argv, &words, names);
}

void ProgOpts::set_value_error(const void *target, const char *reason) {
  for (u64 slot = 0; slot < g_opts_count; ++slot)
    if (g_args[slot].is_argument && g_args[slot].target == target)
      g_args[slot].value_error = reason;
}

void ProgOpts::set_synopsis(const char *synopsis) {
  g_synopsis = synopsis;
}

void ProgOpts::throw_usage_errors() {
  g_throw_usage_errors = true;
}

u64 ProgOpts::parse_words(i32 argc, const char *const *argv, ArrView<StrView> *words,
                          const char *const *names) {
  u64 word_count = 0;
  const auto take_word = [&](getopt_context *ctx, const char *word) {
    if (word_count == words->count) fail_usage(ctx, fmt("Unexpected argument: ", StrView(word)));
    words->data[word_count++] = StrView(word);
  };
  getopt_context ctx;
  if (getopt_create_context(&ctx, argc, argv, g_opts) < 0)
    throw Err("error while creating getopt ctx, bad options-list?");
  ctx.blank_and_dash_are_words = words != nullptr;

  for (;;) {
    const i32 r = getopt_next(&ctx);
    if (r == GetoptDone) break;
    if (words != nullptr && r == GetoptNotOption) {
      take_word(&ctx, ctx.current_opt_arg);
      continue;
    }
    if (words != nullptr && r == GetoptInvalid && StrView(ctx.current_opt_arg) == "--") {
      while (ctx.current_index < ctx.argc) take_word(&ctx, ctx.argv[ctx.current_index++]);
      break;
    }
    if (r == GetoptInvalid) {
      // An option's own value fault names the option's record text.
      for (u64 slot = 0; slot < g_opts_count; ++slot)
        if (ctx.current_opt_arg == g_opts[slot].name && g_args[slot].value_error != nullptr)
          fail_usage(&ctx, Str(g_args[slot].value_error));
      fail_usage(&ctx, fmt("Invalid usage of flag: ", StrView(ctx.current_opt_arg)));
    }
    if (r == GetoptUnknown) fail_usage(&ctx, fmt("Unknown flag: ", StrView(ctx.current_opt_arg)));
    if (r == g_help_value) usage(&ctx, 0);

    if (r >= 0 && static_cast<u64>(r) < g_opts_count) {
      ArgBinding &arg = g_args[r];
      if (arg.is_argument) {
        switch (arg.type) {
        case TypeS32:
          *static_cast<i32 *>(arg.target) = ctx.current_value.i;
          break;
        case TypeF32:
          *static_cast<f32 *>(arg.target) = ctx.current_value.f;
          break;
        case TypeStrList:
          static_cast<List<Str> *>(arg.target)->append(Str(ctx.current_opt_arg));
          break;
        default:
          *static_cast<Str *>(arg.target) = ctx.current_opt_arg;
          break;
        }
        arg.is_set = 1;
        continue;
      }
      if (g_flags[r].is_flag) {
        *g_flags[r].target = true;
        continue;
      }
    }
    // Non-option words (43) land here too: the program takes none.
    fail_usage(&ctx, fmt("Unknown option: ", r, "  (args count: ", g_opts_count, ")"));
  }

  for (u64 slot = 0; slot < g_opts_count; ++slot) {
    const ArgBinding &arg = g_args[slot];
    if (arg.is_argument && arg.flags == Required && !arg.is_set)
      fail_usage(
          &ctx, fmt("Error: argument --", StrView(g_opts[slot].name), " is required but not set!"));
  }
  if (names != nullptr && word_count < words->count)
    fail_usage(&ctx, fmt("Missing argument: ", StrView(names[word_count])));
  return word_count;
}

bool ProgOpts::given(const void *target) {
  for (u64 slot = 0; slot < g_opts_count; ++slot)
    if (g_args[slot].is_argument && g_args[slot].target == target) return g_args[slot].is_set != 0;
  return false;
}

void ProgOpts::usage_error(const char *reason) {
  getopt_context ctx;
  if (getopt_create_context(&ctx, 0, nullptr, g_opts) < 0)
    throw Err("error while creating getopt ctx, bad options-list?");
  fail_usage(&ctx, Str(reason));
}

void ProgOpts::fail_usage(getopt_context *ctx, const Str &reason) {
  if (g_throw_usage_errors) throw UsageError(reason.view());
  fwrite(reason.data, 1, reason.len, stdout);
  putchar('\n');
  usage(ctx, 1);
}

void ProgOpts::usage(getopt_context *ctx, i32 status) {
  char help[2048];
  if (g_synopsis != nullptr) printf("%s\n", g_synopsis);
  printf("Program arguments:\n%s", getopt_create_help_string(ctx, help, sizeof help));
  fflush(stdout);
  exit(status);
}
