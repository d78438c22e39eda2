// An 8-bit image that knows how many channels a pixel has: the atlases the
// baker writes, the pages export writes and the images render draws are all
// one of these. 1 channel: coverage or a distance; 3: RGB (a multi-channel
// field); 4: RGBA (a multi-channel field with the true distance, or colour).
#pragma once

#include "core/types.h"

#include <memory>

struct Image {
  std::unique_ptr<u8[]> pixels; ///< rows top to bottom, a pixel's channels together
  i32 width = 0;
  i32 height = 0;
  i32 channels = 1;

  Image() = default;
  /// All zero: black, and transparent where there is alpha.
  Image(i32 width, i32 height, i32 channels);
  /// Its bytes as they come, for a maker that writes every one.
  [[nodiscard]] static Image unfilled(i32 width, i32 height, i32 channels);

  [[nodiscard]] u64 stride() const { return u64(width) * u64(channels); }
  [[nodiscard]] u64 byte_size() const { return stride() * u64(height); }
  [[nodiscard]] u8 *at(i64 x, i64 y) {
    return pixels.get() + u64(y) * stride() + u64(x) * u64(channels);
  }
  [[nodiscard]] const u8 *at(i64 x, i64 y) const {
    return pixels.get() + u64(y) * stride() + u64(x) * u64(channels);
  }
};

/// Keeps the memory of freed images and their PNG streams for the next ones
/// in this process (the next size, page or repetition) rather than handing
/// it back to the system: else each of their pages is faulted in and zeroed
/// anew. Called once, at the start of a program that makes images.
void reuse_freed_image_memory();
