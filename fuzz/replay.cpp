// Replays saved inputs through a fuzz target without libFuzzer, so that the
// regular (g++, sanitizer) test build runs every corpus file: each argument is
// a file or a directory whose regular files are replayed in name order.
//
// Each input is copied into a block of exactly its size, so a read one byte
// past the end is caught by AddressSanitizer just as under libFuzzer.
#include "fuzz/fuzz-support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool replay_file(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // malloc(0) may give null; a one-byte block keeps the pointer valid while
  // the size passed on is still 0.
  auto *copy = static_cast<u8 *>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (copy == nullptr) {
    std::fprintf(stderr, "out of memory for %s\n", path.c_str());
    return false;
  }
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(copy, bytes.size());
  std::free(copy);
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <file or directory>...\n", argv[0]);
    return 2;
  }
  u64 replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      std::vector<std::filesystem::path> files;
      for (const auto &entry : std::filesystem::directory_iterator(arg, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
      if (ec) {
        std::fprintf(stderr, "cannot list %s: %s\n", argv[i], ec.message().c_str());
        return 1;
      }
      std::sort(files.begin(), files.end());
      for (const auto &f : files) {
        if (!replay_file(f)) return 1;
        ++replayed;
      }
    } else {
      if (!replay_file(arg)) return 1;
      ++replayed;
    }
  }
  // An empty or mistyped corpus path would otherwise pass silently.
  if (replayed == 0) {
    std::fprintf(stderr, "no input found\n");
    return 1;
  }
  std::printf("replayed %llu inputs\n", static_cast<unsigned long long>(replayed));
  return 0;
}
