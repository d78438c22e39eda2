#include "font/output.h"

#include "core/fmt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stb_image_write.h>
#include <unistd.h>

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

void write_output(const Path &path, ArrView<const u8> bytes) {
  // The bytes go to a fresh name beside the target and are renamed over it
  // only when whole, so a failure leaves an earlier file as it was. Exclusive
  // creation never writes through someone else's file of that name.
  File file;
  Path temp;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = Path(fmt(path, ".tmp-", int(getpid()), "-", attempt));
    if (file.try_open(temp, "wbx") || errno != EEXIST) break;
  }
  if (file.stream == nullptr) throw Err(fmt(path, ": cannot be written"));
  Str from(temp.view());
  Str to(path.view());
  from.null_terminate();
  to.null_terminate();
  if (!file.try_write_bytes(bytes) || !file.try_close() || std::rename(from.data, to.data) != 0) {
    file.close();
    (void)temp.try_remove_file();
    throw Err(fmt(path, ": cannot be written"));
  }
}
