// Files that belong together (a descriptor and the page it names, an atlas
// and the .fnt that points into it) written whole under temporary names
// beside their own, then put in place together: whatever fails, their names
// hold either all the earlier files or all the new ones. Each program words
// the failures in its own terms.
#pragma once

#include "core/fs.h"

#include <vector>

/// One file to write.
struct Output {
  const Path &path;
  ArrView<const u8> bytes;
};

/// Which output failed, and why.
struct OutputFailure {
  u64 index = 0;       ///< in the order the outputs were given
  int error = 0;       ///< errno; EIO when the system gave none
  bool opened = false; ///< its temporary was made: the write, the close or the rename failed
  /// For each earlier file that could not be put back: "; <path> could not
  /// be put back (<reason>): its previous content is in <where>", or, when no
  /// file had its name before, "; <path> is new and could not be removed
  /// (<reason>)".
  Str unrestored;
};

class StagedOutputs {
public:
  /// Writes every file under a temporary name, through AtomicFile (devices and
  /// FIFOs in place); no file takes its own name yet. False at the first that
  /// cannot be written, with nothing left behind. Throws Err for a path the
  /// file operations do not take.
  [[nodiscard]] bool try_stage(ArrView<const Output> outputs, OutputFailure &failure);

  /// Renames the staged files into place, in order. When one fails, those
  /// renamed before it are put back as they were (the previous file of that
  /// name, or none), the temporaries after it are removed, and it is false.
  [[nodiscard]] bool try_commit(OutputFailure &failure);

private:
  struct Staged {
    Path path;
    AtomicFile file;
  };
  std::vector<Staged> staged_;
};
