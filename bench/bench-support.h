// What the benchmark programs share: stopping with a message that names the
// program, and whole files read and written.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace bench {

[[noreturn]] inline void die(const std::string &message) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.c_str());
  std::exit(1);
}

inline std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) die("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) die("cannot write " + path);
}

} // namespace bench
