// PNG encoding for both programs, through stb_image_write with its defaults
// (no compression level or filter chosen), so an image's bytes are the same
// whichever program writes it.
#pragma once

#include "core/fs.h"
#include "shared/image.h"

/// Encodes an 8-bit image, rows top to bottom without padding (channels 1:
/// grey, 4: RGBA), as PNG in memory. Throws Err "Cannot encode the PNG image"
/// when stb cannot (it ran out of memory).
[[nodiscard]] Bytes encode_png(const u8 *pixels, i32 width, i32 height, i32 channels);
[[nodiscard]] inline Bytes encode_png(const Image &image) {
  return encode_png(image.pixels.get(), image.width, image.height, image.channels);
}
