#include "shared/png.h"

#include <cstring>
#include <stb_image_write.h>

namespace {

struct PngSink {
  u8 *data = nullptr;
  u64 len = 0;
  u64 capacity = 0;
};

void append_to_sink(void *context, void *data, int size) {
  auto *sink = static_cast<PngSink *>(context);
  if (size <= 0) return;
  const u64 needed = sink->len + u64(size);
  if (needed > sink->capacity) {
    const u64 grown = needed > 2 * sink->capacity ? needed : 2 * sink->capacity;
    u8 *bigger = new u8[grown];
    if (sink->len) std::memcpy(bigger, sink->data, sink->len);
    delete[] sink->data;
    sink->data = bigger;
    sink->capacity = grown;
  }
  std::memcpy(sink->data + sink->len, data, u64(size));
  sink->len = needed;
}

} // namespace

Bytes encode_png(const u8 *pixels, i32 width, i32 height, i32 channels) {
  PngSink sink;
  const int encoded = stbi_write_png_to_func(append_to_sink, &sink, width, height, channels, pixels,
                                             width * channels);
  Bytes png;
  png.data = sink.data;
  png.len = sink.len;
  if (encoded == 0) throw Err("Cannot encode the PNG image");
  return png;
}
