#include "shared/staged-outputs.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
  [[nodiscard]] const std::string &target() const { return target_; }
  /// Whether a file had the name before: else there is nothing kept.
  [[nodiscard]] bool held_a_file() const { return !dir_.empty(); }

private:
  std::string target_; // empty: nothing to put back
  std::string dir_;    // holds the previous file; empty when no file had the name
};

// Puts the files back, the last renamed first (those never kept need
// nothing); names each one that cannot go back and says where its previous
// content is.
Str put_back(std::vector<PreviousFile> &previous) {
  StrBuilder message;
  for (auto it = previous.rbegin(); it != previous.rend(); ++it) {
    if (it->put_back()) continue;
    const StrView reason(std::strerror(errno));
    const StrView target(it->target().c_str());
    if (it->held_a_file())
      fmt(message, "; ", target, " could not be put back (", reason,
          "): its previous content is in ", StrView(it->kept().c_str()));
    else
      fmt(message, "; ", target, " is new and could not be removed (", reason, ")");
  }
  return Str(message.view());
}

int reported(int error) {
  return error != 0 ? error : EIO;
}

} // namespace

bool StagedOutputs::try_stage(ArrView<const Output> outputs, OutputFailure &failure) {
  staged_.reserve(staged_.size() + outputs.count);
  for (u64 i = 0; i < outputs.count; ++i) {
    const Output &output = outputs.data[i];
    staged_.push_back({Path(output.path.view()), AtomicFile()});
    AtomicFile &file = staged_.back().file;
    errno = 0;
    const bool opened = file.try_open(output.path);
    if (!opened || !file.file().try_write_bytes(output.bytes)) {
      failure = {i, reported(errno), opened, Str()};
      staged_.clear();
      return false;
    }
  }
  return true;
}

bool StagedOutputs::try_commit(OutputFailure &failure) {
  std::vector<PreviousFile> previous(staged_.size());
  for (u64 i = 0; i < staged_.size(); ++i) {
    // The last file's own failure leaves its previous file: nothing to keep.
    const bool keep = i + 1 < staged_.size();
    errno = 0;
    if ((keep && !previous[i].keep(staged_[i].file.target())) || !staged_[i].file.try_commit()) {
      failure = {i, reported(errno), true, Str()};
      failure.unrestored = put_back(previous);
      staged_.clear();
      return false;
    }
  }
  for (PreviousFile &p : previous) p.discard();
  staged_.clear();
  return true;
}
