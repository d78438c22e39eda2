// PNG encoding for both programs: the bytes stb_image_write writes with its
// defaults (no compression level or filter chosen), so an image's bytes are
// the same whichever program writes it, and the same as before, in a
// fraction of its time.
//
// The rows are filtered on a second thread while the calling thread
// compresses what is ready (on the calling thread alone when the caller
// allows one thread or none can be started); stb's choices are kept
// exactly: its filter per row, the first of the five with the least sum of
// the bytes as signed values, and its zlib stream (shared/deflate.h). stb
// stays the reference the tests compare against.
#pragma once

#include "core/fs.h"
#include "shared/image.h"

#include <functional>

/// How an image is encoded beside other work. With `threads` 1 every step
/// runs on the calling thread, for a caller told to use one; with more, the
/// rows are filtered on a second thread. `draw`, when set, makes rows
/// [first, end) of the pixels final: it is called on the filtering thread in
/// row order, every row before it is read, so that an image is drawn while
/// its first rows are already being compressed. `help`, when set, is called
/// by the compressing thread while it waits for rows, to take a share of
/// the drawing's work; false when there is none left. `beside` starts the
/// filtering thread off the caller's processor (start_beside): for a caller
/// whose other threads are idle. When they are busy, it crowds them: a bake
/// of five sizes took 5 % longer.
struct PngEncoding {
  int threads = 2;
  std::function<void(u64 first, u64 end)> draw;
  std::function<bool()> help;
  bool beside = false;
};

/// Encodes an 8-bit image, rows top to bottom without padding (channels 1:
/// grey, 2: grey and alpha, 3: RGB, 4: RGBA), as PNG in memory. Throws Err
/// "Cannot encode the PNG image" when it runs out of memory or the image
/// cannot be one PNG stream (negative sizes, other channel counts, filtered
/// rows of 2 GiB or more).
[[nodiscard]] Bytes encode_png(const u8 *pixels, i32 width, i32 height, i32 channels,
                               const PngEncoding &how = {});
[[nodiscard]] inline Bytes encode_png(const Image &image, const PngEncoding &how = {}) {
  return encode_png(image.pixels.get(), image.width, image.height, image.channels, how);
}
