// Test helper: captures what the process writes to file descriptor 1.
#pragma once

#include <cstdio>
#include <string>
#include <unistd.h>

/// Redirects fd 1 into a temporary file until finish().
struct CaptureStdout {
  int saved = dup(1);
  FILE *file = std::tmpfile();
  CaptureStdout() { std::fflush(stdout), dup2(fileno(file), 1); }
  std::string finish() {
    std::fflush(stdout), dup2(saved, 1), close(saved);
    std::fseek(file, 0, SEEK_END);
    std::string out(static_cast<size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    out.resize(std::fread(out.data(), 1, out.size(), file));
    std::fclose(file);
    return out;
  }
};
