// The values of the settings' lists as standard vectors, for comparing in tests.
#pragma once

#include "shared/code-point-lists.h"

#include <string>
#include <utility>
#include <vector>

namespace support {

[[nodiscard]] inline std::vector<int> to_vector(const List<int> &list) {
  std::vector<int> out;
  for (const int v : list) out.push_back(v);
  return out;
}

[[nodiscard]] inline std::vector<std::pair<int, int>> to_vector(const List<CharRange> &list) {
  std::vector<std::pair<int, int>> out;
  for (const CharRange &r : list) out.emplace_back(r.first, r.last);
  return out;
}

[[nodiscard]] inline std::vector<std::string> to_vector(const List<Str> &list) {
  std::vector<std::string> out;
  for (const Str &s : list) out.emplace_back(s.data, s.len);
  return out;
}

[[nodiscard]] inline std::string message_of(const Err &e) {
  return std::string(e.message.data, e.message.len);
}

} // namespace support
