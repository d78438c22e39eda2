// The bake of a fonts directory: its settings files (the regular files
// directly in it whose extension, from the name's first dot, is exactly
// ".glyphmint.ini"), in the walk's order, each logged "processing <path>"
// and read, then each size it lists, in order, as a size job. The calling
// thread bakes together with the threads it could start, and writes each
// step's log lines and each size's pair in that order, so the run looks the
// same whatever the thread count: the same files, the same log lines, the
// same first failure, after which nothing is written and the work still
// under way is dropped. The pairs finished before a failure stay on disk.
#pragma once

#include "core/fs.h"
#include "shared/font-face.h"
#include "tools/glyphmint/bake/size-job.h"

#include <functional>
#include <thread>

/// Starts a thread that runs `work`; throws std::system_error when the
/// system cannot, as std::thread does.
using StartThread = std::thread (*)(std::function<void()> work);
[[nodiscard]] std::thread start_thread(std::function<void()> work);

/// Bakes every settings file of `dir` on `jobs` threads: the calling thread,
/// with faces from `fonts`, and up to jobs - 1 started ones, each with a
/// FontLibrary of its own. A thread that cannot be started is done without,
/// down to the calling thread alone. Fails with a fatal stop or by throwing
/// the failing step's Err.
void bake_dir(const Path &dir, FontLibrary &fonts, int jobs, StartThread start = start_thread);

/// Bakes one settings file on the calling thread as bake_dir bakes each one.
void bake_settings_file(FontLibrary &fonts, const Path &settings_file);

/// Whether a walk's entry is a settings file.
[[nodiscard]] bool is_settings_file(const Path &path, FsType type);
