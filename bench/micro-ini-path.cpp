// Ini::parse of a 1 MiB document, beside the parser a user would write in a
// hurry (getline into a std::map of std::maps); Path::normalized and
// Path::relative_to beside std::filesystem's lexically_normal and
// lexically_relative. The filesystem versions also fold "." and "..", which
// Path leaves as written, so they do a little more work on such paths.
#include "bench/micro.h"
#include "core/fs.h"
#include "core/ini.h"

#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Sections of a dozen properties: short numbers, lists, words, values too
// long for a record's own buffer, comments, blank lines and the odd
// continued value, until the text reaches 1 MiB.
const std::string &ini_text() {
  static const std::string text = [] {
    std::string t = "; generated\npath = fonts/Serif-Regular.ttf\nsizes = [12, 16, 24]\n\n";
    std::mt19937 rng(21);
    for (int section = 0; t.size() < (1u << 20); ++section) {
      t += "[section " + std::to_string(section) + "]\n";
      for (int k = 0; k < 12; ++k) {
        const std::string key = "key_" + std::to_string(k);
        switch (rng() % 6) {
        case 0:
          t += key + " = " + std::to_string(rng() % 100000) + "\n";
          break;
        case 1:
          t += key + " = [32-126, 160-255, 880-1023]\n";
          break;
        case 2:
          t += "  " + key + "\t= some words with spaces   \n";
          break;
        case 3:
          t += key + " = " + std::string(70 + rng() % 60, 'v') + "\n"; // past the 64-byte buffer
          break;
        case 4:
          t += "; a comment line about " + key + "\n";
          break;
        default:
          t += key + " = first line \\\n    continued\n";
          break;
        }
      }
      t += "\n";
    }
    return t;
  }();
  return text;
}

using StdIni = std::map<std::string, std::map<std::string, std::string>>;

StdIni std_parse(const std::string &text) {
  StdIni doc;
  std::istringstream in(text);
  std::string line, section;
  const auto trim = [](std::string s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
  };
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    doc[section].emplace(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
  }
  return doc;
}

void bm_ini_ours(benchmark::State &state) {
  const std::string &text = ini_text();
  for (auto _ : state) {
    Ini doc = Ini::parse(StrView(text.data(), text.size()));
    benchmark::DoNotOptimize(doc.doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<u64>(state.iterations()) * text.size()));
  state.SetItemsProcessed(state.iterations());
}

void bm_ini_std(benchmark::State &state) {
  const std::string &text = ini_text();
  for (auto _ : state) {
    StdIni doc = std_parse(text);
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<u64>(state.iterations()) * text.size()));
  state.SetItemsProcessed(state.iterations());
}

// ------------------------------------------------------------------ paths

const std::vector<std::string> &path_texts() {
  static const std::vector<std::string> texts = {
      "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
      "fonts//Serif-Regular.ttf",
      "a\\b\\c\\d.png",
      "/home/me/fonts/",
      "./x/../y/z.fnt",
      "//srv///fonts////glyphs//",
      "relative/path/with/several/components/atlas-16.png",
      "/",
      "C:\\Users\\me\\fonts\\Serif.ttf",
      "/data/out/x.png",
  };
  return texts;
}

struct RelativeCase {
  const char *path;
  const char *base;
};

constexpr RelativeCase k_relative[] = {
    {"/data/out/x.png", "/data/src"},
    {"/home/me/fonts/Serif-Regular-16.png", "/home/me/fonts"},
    {"/a", "/a/b/c"},
    {"fonts/big/Serif-48.png", "fonts/big"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans-12.png", "/tmp/build/example"},
    {"x/y/z", "x/y/z"},
};

void bm_normalized_ours(benchmark::State &state) {
  std::vector<Path> paths;
  for (const std::string &t : path_texts()) paths.emplace_back(StrView(t.data(), t.size()));
  for (auto _ : state)
    for (const Path &p : paths) {
      Path n = p.normalized();
      benchmark::DoNotOptimize(n.text.data);
    }
  state.SetItemsProcessed(
      static_cast<int64_t>(static_cast<u64>(state.iterations()) * paths.size()));
}

void bm_normalized_std(benchmark::State &state) {
  std::vector<std::filesystem::path> paths(path_texts().begin(), path_texts().end());
  for (auto _ : state)
    for (const auto &p : paths) {
      auto n = p.lexically_normal();
      benchmark::DoNotOptimize(n);
    }
  state.SetItemsProcessed(
      static_cast<int64_t>(static_cast<u64>(state.iterations()) * paths.size()));
}

void bm_relative_ours(benchmark::State &state) {
  std::vector<std::pair<Path, Path>> cases;
  for (const RelativeCase &c : k_relative) cases.emplace_back(Path(c.path), Path(c.base));
  for (auto _ : state)
    for (const auto &[p, base] : cases) {
      Path r = p.relative_to(base);
      benchmark::DoNotOptimize(r.text.data);
    }
  state.SetItemsProcessed(
      static_cast<int64_t>(static_cast<u64>(state.iterations()) * cases.size()));
}

void bm_relative_std(benchmark::State &state) {
  std::vector<std::pair<std::filesystem::path, std::filesystem::path>> cases;
  for (const RelativeCase &c : k_relative) cases.emplace_back(c.path, c.base);
  for (auto _ : state)
    for (const auto &[p, base] : cases) {
      auto r = p.lexically_relative(base);
      benchmark::DoNotOptimize(r);
    }
  state.SetItemsProcessed(
      static_cast<int64_t>(static_cast<u64>(state.iterations()) * cases.size()));
}

const bool registered = [] {
  micro::add("ini parse 1MiB/Ini::parse", bm_ini_ours);
  micro::add("ini parse 1MiB/getline + std::map", bm_ini_std);
  micro::compare("ini parse 1MiB/Ini::parse", "ini parse 1MiB/getline + std::map");
  micro::add("path normalized/Path::normalized", bm_normalized_ours);
  micro::add("path normalized/fs::path::lexically_normal", bm_normalized_std);
  micro::compare("path normalized/Path::normalized", "path normalized/fs::path::lexically_normal");
  micro::add("path relative/Path::relative_to", bm_relative_ours);
  micro::add("path relative/fs::path::lexically_relative", bm_relative_std);
  micro::compare("path relative/Path::relative_to", "path relative/fs::path::lexically_relative");
  return true;
}();

} // namespace
