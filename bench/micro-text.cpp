// Number text both ways. Parsing: StrParser<int> and StrParser<double>
// beside std::from_chars and strtol / strtod, each over the same 1024 texts
// of mixed lengths and signs, each checked as a strict parser would (the
// whole text must be the number). Formatting: fmt of ints and doubles into a
// StrBuilder beside std::to_chars and snprintf. fmt writes doubles with five
// fraction digits, truncated; the others are asked for five digits too
// (rounded, the nearest they offer).
#include "bench/micro.h"
#include "core/fmt.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int k_count = 1024;

// The texts, each followed by a NUL so the C functions can read them too.
struct Texts {
  std::string storage;
  std::vector<std::pair<u64, u64>> spans; // offset, length
};

const Texts &texts(bool floats) {
  static const Texts sets[2] = {[] {
                                  Texts t;
                                  std::mt19937 rng(11);
                                  for (int i = 0; i < k_count; ++i) {
                                    // 1 to 10 digits, a quarter negative.
                                    const int digits = 1 + static_cast<int>(rng() % 10);
                                    std::string s = rng() % 4 == 0 ? "-" : "";
                                    s += static_cast<char>('1' + rng() % 9);
                                    for (int d = 1; d < digits; ++d)
                                      s += static_cast<char>('0' + rng() % 10);
                                    if (digits == 10) s[s.size() - 10] = '1';
                                    t.spans.emplace_back(t.storage.size(), s.size());
                                    t.storage += s + '\0';
                                  }
                                  return t;
                                }(),
                                [] {
                                  Texts t;
                                  std::mt19937 rng(12);
                                  for (int i = 0; i < k_count; ++i) {
                                    // Up to 6 digits before the point, 1 to 6 after.
                                    std::string s = rng() % 4 == 0 ? "-" : "";
                                    s += std::to_string(rng() % 1'000'000 >> (rng() % 20));
                                    s += '.';
                                    const int fraction = 1 + static_cast<int>(rng() % 6);
                                    for (int d = 0; d < fraction; ++d)
                                      s += static_cast<char>('0' + rng() % 10);
                                    t.spans.emplace_back(t.storage.size(), s.size());
                                    t.storage += s + '\0';
                                  }
                                  return t;
                                }()};
  return sets[floats ? 1 : 0];
}

template <typename T, typename Parse> void run_parse(benchmark::State &state, Parse parse) {
  const Texts &t = texts(std::is_floating_point_v<T>);
  for (auto _ : state) {
    T sum = 0;
    for (const auto &[offset, len] : t.spans) {
      T v{};
      if (!parse(t.storage.data() + offset, len, v)) state.SkipWithError("a text did not parse");
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * k_count);
}

bool ours_int(const char *p, u64 n, int &v) {
  return StrParser<int>::try_parse(StrView(p, n), v);
}
bool ours_double(const char *p, u64 n, double &v) {
  return StrParser<double>::try_parse(StrView(p, n), v);
}
template <typename T> bool from_chars(const char *p, u64 n, T &v) {
  const auto [end, ec] = std::from_chars(p, p + n, v);
  return ec == std::errc() && end == p + n;
}
bool c_strtol(const char *p, u64 n, int &v) {
  char *end = nullptr;
  const long l = std::strtol(p, &end, 10);
  v = static_cast<int>(l);
  return end == p + n && l == v;
}
bool c_strtod(const char *p, u64 n, double &v) {
  char *end = nullptr;
  v = std::strtod(p, &end);
  return end == p + n;
}

// ------------------------------------------------------------ formatting

const std::vector<int> &int_values() {
  static const std::vector<int> values = [] {
    std::vector<int> v;
    std::mt19937 rng(13);
    for (int i = 0; i < k_count; ++i)
      v.push_back(static_cast<int>(rng()) >> (rng() % 31)); // every magnitude
    return v;
  }();
  return values;
}

const std::vector<double> &double_values() {
  static const std::vector<double> values = [] {
    std::vector<double> v;
    std::mt19937 rng(14);
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < k_count; ++i) v.push_back(dist(rng) / double(1 << (rng() % 20)));
    return v;
  }();
  return values;
}

template <typename T, typename Format>
void run_format(benchmark::State &state, const std::vector<T> &values, Format format) {
  for (auto _ : state) {
    u64 chars = 0;
    for (const T v : values) chars += format(v);
    benchmark::DoNotOptimize(chars);
  }
  state.SetItemsProcessed(state.iterations() * k_count);
}

// Each formatter writes one value into a buffer that lives across calls,
// as a caller that formats many values would keep one.
template <typename T> u64 fmt_builder(T v) {
  static StrBuilder b;
  b.reset();
  fmt(b, v);
  benchmark::DoNotOptimize(b.data);
  return b.len;
}

u64 to_chars_int(int v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  benchmark::DoNotOptimize(buf);
  return static_cast<u64>(r.ptr - buf);
}

u64 to_chars_double(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 5);
  benchmark::DoNotOptimize(buf);
  return static_cast<u64>(r.ptr - buf);
}

u64 snprintf_int(int v) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%d", v);
  benchmark::DoNotOptimize(buf);
  return static_cast<u64>(n);
}

u64 snprintf_double(double v) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%.5f", v);
  benchmark::DoNotOptimize(buf);
  return static_cast<u64>(n);
}

const bool registered = [] {
  micro::add("parse int/StrParser<int>", [](benchmark::State &s) { run_parse<int>(s, ours_int); });
  micro::add("parse int/std::from_chars",
             [](benchmark::State &s) { run_parse<int>(s, from_chars<int>); });
  micro::add("parse int/strtol", [](benchmark::State &s) { run_parse<int>(s, c_strtol); });
  micro::add("parse double/StrParser<double>",
             [](benchmark::State &s) { run_parse<double>(s, ours_double); });
  micro::add("parse double/std::from_chars",
             [](benchmark::State &s) { run_parse<double>(s, from_chars<double>); });
  micro::add("parse double/strtod", [](benchmark::State &s) { run_parse<double>(s, c_strtod); });
  micro::compare("parse int/StrParser<int>", "parse int/std::from_chars");
  micro::compare("parse int/StrParser<int>", "parse int/strtol");
  micro::compare("parse double/StrParser<double>", "parse double/std::from_chars");
  micro::compare("parse double/StrParser<double>", "parse double/strtod");

  micro::add("format int/fmt into StrBuilder",
             [](benchmark::State &s) { run_format(s, int_values(), fmt_builder<int>); });
  micro::add("format int/std::to_chars",
             [](benchmark::State &s) { run_format(s, int_values(), to_chars_int); });
  micro::add("format int/snprintf",
             [](benchmark::State &s) { run_format(s, int_values(), snprintf_int); });
  micro::add("format double/fmt into StrBuilder",
             [](benchmark::State &s) { run_format(s, double_values(), fmt_builder<double>); });
  micro::add("format double/std::to_chars",
             [](benchmark::State &s) { run_format(s, double_values(), to_chars_double); });
  micro::add("format double/snprintf",
             [](benchmark::State &s) { run_format(s, double_values(), snprintf_double); });
  micro::compare("format int/fmt into StrBuilder", "format int/std::to_chars");
  micro::compare("format int/fmt into StrBuilder", "format int/snprintf");
  micro::compare("format double/fmt into StrBuilder", "format double/std::to_chars");
  micro::compare("format double/fmt into StrBuilder", "format double/snprintf");
  return true;
}();

} // namespace
