// Reading BMFont exports with the npm parsers that engines' and web projects'
// users install (JSON.parse for JSON), through tests/npm/read-bmfont.js. Only
// the tests listed in NPM_TESTS (tests/CMakeLists.txt) have them.
#pragma once

#include "tests/support/support.h"

#include <map>

namespace npm {

/// A descriptor as read-bmfont.js prints it: "chars.3.id" => "65",
/// "info.face" => "\"DejaVuSans\"" (values as JSON).
using Parsed = std::map<std::string, std::string>;

inline Parsed read_with_npm(const std::string &form, const std::string &file) {
  const std::string node = GLYPHMINT_NODE;
  if (access(node.c_str(), X_OK) != 0) {
    ADD_FAILURE() << "node not found (" << node << "); scripts/install-deps installs it";
    return {};
  }
  support::ScratchDir capture;
  const support::RunResult r =
      support::run_program(node, {std::string(GLYPHMINT_NPM_DIR) + "/read-bmfont.js", form, file},
                           capture.path(), capture.path());
  if (r.exit_code != 0) {
    ADD_FAILURE() << "the " << form << " parser rejected " << file << " (the npm.parsers test "
                  << "installs the parsers into " << GLYPHMINT_NPM_DIR << ")\n"
                  << r;
    return {};
  }
  Parsed parsed;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t blank = line.find(' ');
    parsed[line.substr(0, blank)] = line.substr(blank + 1);
  }
  return parsed;
}

/// Empty when equal, else the first few keys that differ.
inline std::string differences(const Parsed &got, const Parsed &want) {
  std::set<std::string> keys;
  for (const auto &[k, v] : got) keys.insert(k);
  for (const auto &[k, v] : want) keys.insert(k);
  std::ostringstream os;
  int shown = 0;
  for (const std::string &k : keys) {
    const auto g = got.find(k);
    const auto w = want.find(k);
    const std::string gv = g == got.end() ? "(none)" : g->second;
    const std::string wv = w == want.end() ? "(none)" : w->second;
    if (gv != wv && shown++ < 8) os << k << ": got " << gv << ", want " << wv << "\n";
  }
  return os.str();
}

} // namespace npm
