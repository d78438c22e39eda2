#include "shared/image.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

Image::Image(i32 width_, i32 height_, i32 channels_)
    : pixels(new u8[u64(width_) * u64(height_) * u64(channels_)]()), width(width_), height(height_),
      channels(channels_) {}

Image Image::unfilled(i32 width, i32 height, i32 channels) {
  Image image;
  image.pixels.reset(new u8[u64(width) * u64(height) * u64(channels)]);
  image.width = width, image.height = height, image.channels = channels;
  return image;
}

void reuse_freed_image_memory() {
#ifdef __GLIBC__
  // By default glibc maps a block of some megabytes on its own and unmaps it
  // when freed, or trims the heap once a few of them are free together: a
  // 48 px multi-channel bake's atlas, filtered rows and stream took 1,500
  // faults each, every time. Blocks up to the largest glibc allows now come
  // from the heap, which keeps up to 256 MiB free.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}
