#include "tools/glyphmint-font/output.h"

#include "core/fmt.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

struct FileId {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
};

// Symbolic links are followed, so any name for a file gives the same identity.
FileId file_id(const Path &path) {
  if (path.text.empty()) return {};
  const Str c_path = fmt(path, '\0');
  struct stat st {};
  if (stat(c_path.data, &st) != 0) return {};
  return {true, st.st_dev, st.st_ino};
}

[[noreturn]] void fail(const Path &path, int error) {
  throw Err(
      fmt(path, ": cannot be written (", StrView(std::strerror(error != 0 ? error : EIO)), ")"));
}

} // namespace

void write_outputs(ArrView<const Output> outputs) {
  std::vector<AtomicFile> files(outputs.count);
  for (u64 i = 0; i < outputs.count; ++i) {
    errno = 0;
    if (!files[i].try_open(outputs.data[i].path) ||
        !files[i].file().try_write_bytes(outputs.data[i].bytes))
      fail(outputs.data[i].path, errno);
  }
  for (u64 i = 0; i < outputs.count; ++i) {
    errno = 0;
    if (!files[i].try_commit()) fail(outputs.data[i].path, errno);
  }
}

void write_output(const Path &path, ArrView<const u8> bytes) {
  const Output output{path, bytes};
  write_outputs(ArrView<const Output>(&output, 1));
}

void refuse_overwriting(ArrView<const Input> inputs, const Path &output) {
  const FileId out = file_id(output);
  if (!out.exists) return;
  for (const Input &input : inputs) {
    const FileId in = file_id(input.path);
    if (in.exists && in.device == out.device && in.inode == out.inode)
      throw Err(
          fmt(output, ": is ", StrView(input.what), " (", input.path, "); nothing was written"));
  }
}
