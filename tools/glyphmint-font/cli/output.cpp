#include "tools/glyphmint-font/cli/output.h"

#include "core/fmt.h"
#include "tools/glyphmint-font/cli/console.h"
#include "tools/glyphmint-font/cli/given-paths.h"

#include <cerrno>
#include <cstring>
#include <string>
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
  return fmt(path, ": cannot be written (", StrView(std::strerror(error != 0 ? error : EIO)), ")");
}

[[noreturn]] void fail(const Path &path, int error) {
  throw Err(fail_text(path, error));
}

// The file an output replaces, kept until the outputs after it are in place,
// so that a failure of one of those can put it back. A hard link keeps it
// without taking the name away even for a moment; where the filesystem has
// no hard links, it is renamed aside just before the new file takes its name.
class PreviousFile {
public:
  /// Keeps what `target` names now (nothing for an empty target: a file
  /// written in place); false, with errno set, when it cannot.
  [[nodiscard]] bool keep(StrView target_view) {
    if (target_view.len == 0) return true;
    std::string target(target_view.data, target_view.len);
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) {
      if (errno != ENOENT) return false;
      target_ = static_cast<std::string &&>(target);
      return true;
    }
    std::string dir = target.substr(0, target.rfind('/') + 1) + ".glyphmint-kept-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) return false;
    const std::string kept = dir + "/previous";
    if (::link(target.c_str(), kept.c_str()) != 0 && ::rename(target.c_str(), kept.c_str()) != 0) {
      const int error = errno;
      ::rmdir(dir.c_str());
      errno = error;
      return false;
    }
    target_ = static_cast<std::string &&>(target);
    dir_ = static_cast<std::string &&>(dir);
    return true;
  }

  /// Puts the previous file back under its name, or removes the new file when
  /// there was none; false, with errno set, when that fails: kept() then
  /// still holds it.
  [[nodiscard]] bool put_back() {
    if (target_.empty()) return true;
    if (dir_.empty()) return ::unlink(target_.c_str()) == 0 || errno == ENOENT;
    if (::rename(kept().c_str(), target_.c_str()) != 0) return false;
    discard(); // renaming a link over another link of its file leaves both
    return true;
  }

  /// The new file stays; the previous one goes.
  void discard() {
    if (dir_.empty()) return;
    ::unlink(kept().c_str());
    ::rmdir(dir_.c_str());
    dir_.clear();
  }

  [[nodiscard]] std::string kept() const { return dir_ + "/previous"; }

private:
  std::string target_; // empty: nothing to put back
  std::string dir_;    // holds the previous file; empty when no file had the name
};

// Puts the files back, the last renamed first (those never kept need
// nothing); says where each one that cannot go back stays.
void put_back(std::vector<PreviousFile> &previous, StrBuilder &message) {
  for (auto it = previous.rbegin(); it != previous.rend(); ++it)
    if (!it->put_back())
      fmt(message, "; the earlier file stays in ", StrView(it->kept().c_str()), " (",
          StrView(std::strerror(errno)), ")");
}

} // namespace

StagedOutputs::StagedOutputs(ArrView<const Output> outputs) {
  staged_.reserve(outputs.count);
  for (const Output &output : outputs) {
    require_short_path(output.path);
    staged_.push_back({Path(output.path.view()), AtomicFile()});
    AtomicFile &file = staged_.back().file;
    errno = 0;
    if (!file.try_open(output.path) || !file.file().try_write_bytes(output.bytes))
      fail(output.path, errno);
  }
}

void StagedOutputs::commit() {
  std::vector<PreviousFile> previous(staged_.size());
  for (u64 i = 0; i < staged_.size(); ++i) {
    // The last file's own failure leaves its previous file: nothing to keep.
    const bool keep = i + 1 < staged_.size();
    errno = 0;
    if ((keep && !previous[i].keep(staged_[i].file.target())) || !staged_[i].file.try_commit()) {
      StrBuilder message;
      message.append(fail_text(staged_[i].path, errno).view());
      put_back(previous, message);
      throw Err(message.view());
    }
  }
  for (PreviousFile &p : previous) p.discard();
}

void write_outputs(ArrView<const Output> outputs) {
  StagedOutputs(outputs).commit();
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
