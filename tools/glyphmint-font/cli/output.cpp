#include "tools/glyphmint-font/cli/output.h"

#include "core/fmt.h"
#include "tools/glyphmint-font/cli/console.h"
#include "tools/glyphmint-font/cli/given-paths.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

Str fail_text(const Path &path, int error) {
  return fmt(path, ": cannot be written (", StrView(std::strerror(error)), ")");
}

} // namespace

void write_outputs(ArrView<const Output> outputs) {
  for (const Output &output : outputs) require_short_path(output.path);
  StagedOutputs staged;
  OutputFailure failure;
  if (!staged.try_stage(outputs, failure) || !staged.try_commit(failure)) {
    StrBuilder message;
    message.append(fail_text(outputs.data[failure.index].path, failure.error).view());
    message.append(failure.unrestored.view());
    throw Err(message.view());
  }
}

void write_output(const Path &path, ArrView<const u8> bytes) {
  const Output output{path, bytes};
  write_outputs(ArrView<const Output>(&output, 1));
}

void write_standard_output(ArrView<const u8> bytes) {
  if (::isatty(STDOUT_FILENO) != 0)
    throw Err("standard output: is a terminal; redirect it to a file or a pipe");
  print_output(StrView(reinterpret_cast<const char *>(bytes.data), bytes.count));
}

void refuse_non_regular(const Path &path) {
  struct stat st {};
  const Str c_path = fmt(path, '\0');
  if (path.empty() || ::stat(c_path.data, &st) != 0 || S_ISREG(st.st_mode)) return;
  const char *kind = S_ISDIR(st.st_mode)    ? "directory"
                     : S_ISCHR(st.st_mode)  ? "character device"
                     : S_ISBLK(st.st_mode)  ? "block device"
                     : S_ISFIFO(st.st_mode) ? "FIFO"
                                            : "socket";
  throw Err(fmt(path, ": is a ", StrView(kind), ", not a regular file; nothing was written"));
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
