#include "shared/image.h"

Image::Image(i32 width_, i32 height_, i32 channels_)
    : pixels(new u8[u64(width_) * u64(height_) * u64(channels_)]()), width(width_),
      height(height_), channels(channels_) {}

Image Image::unfilled(i32 width, i32 height, i32 channels) {
  Image image;
  image.pixels.reset(new u8[u64(width) * u64(height) * u64(channels)]);
  image.width = width, image.height = height, image.channels = channels;
  return image;
}
