#include "shared/image.h"

Image::Image(i32 width_, i32 height_, i32 channels_)
    : pixels(new u8[u64(width_) * u64(height_) * u64(channels_)]()), width(width_),
      height(height_), channels(channels_) {}
