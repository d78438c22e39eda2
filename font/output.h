// Writing the files the commands make. Every file goes through write_output,
// so a failed write never leaves a half-written file under a real name.
#pragma once

#include "core/fs.h"

/// Encodes an 8-bit image (channels 1: grey, 4: RGBA) as PNG in memory.
[[nodiscard]] Bytes encode_png(const u8 *pixels, i32 width, i32 height, i32 channels);

/// Writes the bytes as the file at path, all or nothing: into a temporary
/// beside the file (beside a symbolic link's final target), renamed over it
/// once every write and the close succeeded, so an earlier file survives a
/// failure whole. Devices and FIFOs, which cannot be replaced, are written in
/// place. Throws Err "<path>: cannot be written (<reason>)" on any failure.
void write_output(const Path &path, ArrView<const u8> bytes);
