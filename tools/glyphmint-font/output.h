// Writing the files the commands make. Every file goes through write_output,
// so a failed write never leaves a half-written file under a real name.
#pragma once

#include "core/fs.h"
#include "shared/png.h"

/// One file to write.
struct Output {
  const Path &path;
  ArrView<const u8> bytes;
};

/// Writes each file all or nothing, through AtomicFile: every one is written
/// whole under a temporary name first and only then are they renamed into
/// place, in order, so a failed write (a full disk) leaves every earlier file
/// of those names as it was. Devices and FIFOs are written in place. Throws
/// Err "<path>: cannot be written (<reason>)" on any failure.
void write_outputs(ArrView<const Output> outputs);
void write_output(const Path &path, ArrView<const u8> bytes);

/// An input of a command, and what it is, for refuse_overwriting's message.
struct Input {
  const Path &path;
  const char *what;
};

/// Throws Err "<output>: is <what> (<input>); nothing was written" when the
/// output names the same file as an existing input, by whatever links or
/// relative paths: a command never writes over what it reads.
void refuse_overwriting(ArrView<const Input> inputs, const Path &output);
