// The bake of a fonts directory on several threads, which looks exactly like
// the sequential walk of FontsVisitor: the same files, the same log lines in
// the same order, the same first failure. Worker threads load the glyphs of
// a size in chunks, each thread with FreeType faces of its own (a face is
// never shared between threads), and encode whole sizes, keeping their log
// lines; the calling thread replays each step's lines and writes each size's
// pair in the sequential order, so nothing after the first failure is ever
// written, and the work after it is dropped as soon as it is known.
#pragma once

#include "core/fs.h"

/// Bakes every settings file of `dir` on `threads` worker threads; fails as
/// the sequential walk would, with a fatal stop or by throwing its Err.
void bake_dir_in_parallel(const Path &dir, int threads);
