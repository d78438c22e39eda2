// The option parser over an argument vector made from the input: the first
// byte picks the option table, the rest is split at NUL bytes into arguments,
// each in a block of exactly its size so that any read past a terminator is
// caught. Checks that every result is one the table allows, that the walk
// only moves forward, that the texts it reports point into the arguments or
// the table, and that flag kinds store only into their own target.
#include "fuzz/fuzz-support.h"

#include "core/getopt.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int k_max_args = 64;

// The flag targets live between guards, in one array, so a store through a
// wrong pointer shows up as a changed guard.
constexpr i32 k_guard = 0x6b6b6b6b;
i32 g_cells[7];
i32 *const g_flag_set = &g_cells[1];
i32 *const g_flag_and = &g_cells[3];
i32 *const g_flag_or = &g_cells[5];

// The tool's own table: the built-in help and --dir.
const getopt_entry k_tool_opts[] = {
    {"help", 'h', GetoptNoValue, nullptr, 'h', "Print this help text.", nullptr},
    {"dir", 'd', GetoptRequiredStr, nullptr, 1, "Directory with *.glyphmint.ini settings.", "..."},
    {nullptr, 0, 0, nullptr, 0, nullptr, nullptr},
};

// One record of every kind, a short-only record, and names that are prefixes
// of one another, so that matching by prefix and case is exercised.
const getopt_entry k_all_kinds[] = {
    {"help", 'h', GetoptNoValue, nullptr, 'h', "help", nullptr},
    {"str", 's', GetoptRequiredStr, nullptr, 1, "required text", "TEXT"},
    {"opt", 'o', GetoptOptionalStr, nullptr, 2, "optional text", "TEXT"},
    {"int", 'i', GetoptRequiredS32, nullptr, 3, "required int", "N"},
    {"intopt", 'j', GetoptOptionalS32, nullptr, 4, "optional int", "N"},
    {"float", 'f', GetoptRequiredF32, nullptr, 5, "required float", "X"},
    {"floatopt", 'g', GetoptOptionalF32, nullptr, 6, "optional float", "X"},
    {"set", 'S', GetoptFlagSet, g_flag_set, 0x0F0F, "set", nullptr},
    {"and", 'A', GetoptFlagAnd, g_flag_and, 0x00FF, "and", nullptr},
    {"or", 'O', GetoptFlagOr, g_flag_or, 0x1200, "or", nullptr},
    {nullptr, 'x', GetoptNoValue, nullptr, 7, "short only", nullptr},
    {"s", 0, GetoptRequiredStr, nullptr, 8, "long only, a prefix of str and set", "T"},
    {nullptr, 0, 0, nullptr, 0, nullptr, nullptr},
};

const getopt_entry *find_record(const getopt_entry *opts, i32 value) {
  for (const getopt_entry *e = opts; e->name != nullptr || e->name_short != 0; ++e)
    if (e->kind < GetoptFlagSet && e->value == value) return e;
  return nullptr;
}

bool points_into(const char *p, const std::vector<char *> &args, const std::vector<size_t> &lens) {
  for (size_t i = 0; i < args.size(); ++i)
    if (p >= args[i] && p <= args[i] + lens[i]) return true;
  return false;
}

bool is_record_name(const char *p, const getopt_entry *opts) {
  for (const getopt_entry *e = opts; e->name != nullptr || e->name_short != 0; ++e)
    if (p == e->name) return true;
  return false;
}

void run(const getopt_entry *opts, const std::vector<char *> &args,
         const std::vector<size_t> &lens) {
  g_cells[0] = g_cells[2] = g_cells[4] = g_cells[6] = k_guard;
  *g_flag_set = 0;
  *g_flag_and = -1;
  *g_flag_or = 0;

  std::vector<const char *> argv(args.begin(), args.end());
  argv.push_back(nullptr);
  getopt_context ctx{};
  FUZZ_CHECK(getopt_create_context(&ctx, static_cast<i32>(args.size()), argv.data(), opts) == 0,
             "a valid table was rejected");
  const i32 n = args.size() >= 2 ? static_cast<i32>(args.size()) - 1 : 0;
  FUZZ_CHECK(ctx.argc == n, "argument count " + std::to_string(ctx.argc));

  i32 calls = 0;
  while (true) {
    const i32 before = ctx.current_index;
    const i32 set = *g_flag_set, and_ = *g_flag_and, or_ = *g_flag_or;
    const i32 r = getopt_next(&ctx);
    FUZZ_CHECK(++calls <= n + 1, "more results than arguments");
    const auto where = [&] {
      return std::string("call " + std::to_string(calls) + " result " + std::to_string(r));
    };
    FUZZ_CHECK(g_cells[0] == k_guard && g_cells[2] == k_guard && g_cells[4] == k_guard &&
                   g_cells[6] == k_guard,
               where() + ": a store missed its flag target");
    if (r == GetoptDone) {
      FUZZ_CHECK(before == n && ctx.current_index == n, where() + ": ended early");
      break;
    }
    FUZZ_CHECK(ctx.current_index > before && ctx.current_index <= n,
               where() + ": index " + std::to_string(ctx.current_index));
    const char *arg = ctx.current_opt_arg;
    if (arg != nullptr)
      FUZZ_CHECK(points_into(arg, args, lens) || is_record_name(arg, opts),
                 where() + ": current argument points elsewhere");

    // Which targets moved, and how.
    const int changed = (*g_flag_set != set) + (*g_flag_and != and_) + (*g_flag_or != or_);
    if (r != GetoptFlagApplied) FUZZ_CHECK(changed == 0, where() + ": a flag changed");
    if (*g_flag_set != set) FUZZ_CHECK(*g_flag_set == 0x0F0F, where() + ": set");
    if (*g_flag_and != and_) FUZZ_CHECK(*g_flag_and == (and_ & 0x00FF), where() + ": and");
    if (*g_flag_or != or_) FUZZ_CHECK(*g_flag_or == (or_ | 0x1200), where() + ": or");

    if (r == GetoptNotOption) {
      FUZZ_CHECK(arg == argv[static_cast<size_t>(before) + 1], where() + ": not the argument");
      FUZZ_CHECK(arg[0] != '-' && arg[0] != '\0', where() + ": option taken as a word");
      continue;
    }
    if (r == GetoptInvalid || r == GetoptUnknown || r == GetoptFlagApplied) {
      if (r != GetoptFlagApplied) FUZZ_CHECK(arg != nullptr, where() + ": nothing named");
      continue;
    }
    const getopt_entry *e = find_record(opts, r);
    FUZZ_CHECK(e != nullptr, where() + ": no record has this value");
    const bool required = e->kind == GetoptRequiredStr || e->kind == GetoptRequiredS32 ||
                          e->kind == GetoptRequiredF32;
    if (required) FUZZ_CHECK(arg != nullptr, where() + ": required value missing");
    if (arg == nullptr) continue;
    // A number kind returned its value: the whole text was a number, and the
    // stored value is what the C library reads from it.
    if (e->kind == GetoptRequiredS32 || e->kind == GetoptOptionalS32) {
      char *end = nullptr;
      errno = 0;
      const long v = std::strtol(arg, &end, 0);
      FUZZ_CHECK(*end == '\0', where() + ": trailing text accepted in " + fuzz::quote(arg));
      FUZZ_CHECK(ctx.current_value.i == static_cast<i32>(v),
                 where() + ": value of " + fuzz::quote(arg));
    } else if (e->kind == GetoptRequiredF32 || e->kind == GetoptOptionalF32) {
      char *end = nullptr;
      const f32 v = std::strtof(arg, &end);
      FUZZ_CHECK(*end == '\0', where() + ": trailing text accepted in " + fuzz::quote(arg));
      FUZZ_CHECK(std::memcmp(&ctx.current_value.f, &v, sizeof v) == 0 ||
                     (std::isnan(v) && std::isnan(ctx.current_value.f)),
                 where() + ": value of " + fuzz::quote(arg));
    }
  }

  // The help text never overruns the buffer and always ends in a NUL.
  for (const u64 size : {u64{0}, u64{1}, u64{37}, u64{200}, u64{2048}}) {
    std::vector<char> buf(size + 1, 'x');
    char *help = getopt_create_help_string(&ctx, buf.data(), size);
    FUZZ_CHECK(help == buf.data(), "help text not in the buffer");
    FUZZ_CHECK(buf[size] == 'x', "help text overran " + std::to_string(size) + " bytes");
    if (size != 0)
      FUZZ_CHECK(std::memchr(buf.data(), '\0', size) != nullptr,
                 "help text not terminated in " + std::to_string(size) + " bytes");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  if (size == 0) return 0;
  const getopt_entry *opts = (data[0] & 1) != 0 ? k_all_kinds : k_tool_opts;

  // argv[0] is the program name, then one argument per NUL-separated piece.
  std::vector<std::string> pieces{"glyphmint"};
  std::string cur;
  for (size_t i = 1; i < size && pieces.size() < k_max_args; ++i) {
    if (data[i] == 0) {
      pieces.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(data[i]);
    }
  }
  if (!cur.empty() && pieces.size() < k_max_args) pieces.push_back(cur);

  std::vector<char *> args;
  std::vector<size_t> lens;
  for (const std::string &p : pieces) {
    auto *block = static_cast<char *>(std::malloc(p.size() + 1));
    std::memcpy(block, p.c_str(), p.size() + 1);
    args.push_back(block);
    lens.push_back(p.size());
  }
  run(opts, args, lens);
  for (char *a : args) std::free(a);
  return 0;
}
