// Writing the files the commands make. Every file goes through StagedOutputs,
// so a failed write never leaves a half-written file under a real name.
#pragma once

#include "core/fs.h"
#include "shared/png.h"
#include "shared/staged-outputs.h"

/// Stages the files and commits them: a failed write (a full disk) leaves
/// every earlier file of those names as it was. Throws Err "<path>: cannot be
/// written (<reason>)" (or require_short_path's), followed by where any
/// earlier file that could not be put back stays.
void write_outputs(ArrView<const Output> outputs);
void write_output(const Path &path, ArrView<const u8> bytes);

/// Writes the bytes to standard output, as `-` for an output file asks; a
/// terminal is refused, as binary bytes would reach it as control sequences.
/// Throws Err "standard output: ..." when it is refused or the write fails.
void write_standard_output(ArrView<const u8> bytes);

/// Throws Err "<path>: is a <kind>, not a regular file; nothing was written"
/// when the path names an existing directory, device, FIFO or socket (links
/// followed): an output that is replaced whole cannot be one of those.
void refuse_non_regular(const Path &path);

/// An input of a command, and what it is, for refuse_overwriting's message.
struct Input {
  const Path &path;
  const char *what;
};

/// Throws Err "<output>: is <what> (<input>); nothing was written" when the
/// output names the same file as an existing input, by whatever links or
/// relative paths: a command never writes over what it reads.
void refuse_overwriting(ArrView<const Input> inputs, const Path &output);
