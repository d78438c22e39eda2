#include "shared/png.h"

#include "shared/deflate.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <zlib.h>

namespace {

// stb and PNG's chunk lengths count in 31 bits; this leaves room for the
// stream's own bytes.
constexpr u64 largest_filtered = 0x7ff00000;
// Below this a thread costs more than it saves.
constexpr u64 smallest_threaded = u64(64) << 10;
// The filtering thread tells the compressor about its rows this often.
constexpr u64 publish_every = u64(32) << 10;

u8 paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return u8(a);
  return u8(pb <= pc ? b : c);
}

// Byte x less its prediction; left and up_left are 0 in a row's first pixel
// and the row above is all 0 for the first row, which gives stb's first-row
// and first-pixel forms of every filter.
template <int Filter> u8 residual(u8 x, u8 left, u8 up, u8 up_left) {
  if constexpr (Filter == 0) return x;
  if constexpr (Filter == 1) return u8(x - left);
  if constexpr (Filter == 2) return u8(x - up);
  if constexpr (Filter == 3) return u8(x - ((left + up) >> 1));
  if constexpr (Filter == 4) return u8(x - paeth(left, up, up_left));
}

/// One row, the one above it, its length in bytes and the bytes of a pixel.
struct Row {
  const u8 *pixels;
  const u8 *above;
  u64 bytes;
  u64 pixel;
};

// Writes the row through the filter and returns stb's estimate of it: the
// sum of the residuals' magnitudes as signed bytes, in an int that wraps
// (only rows of 16 MiB could).
template <int Filter> i32 filter_into(const Row &row, u8 *__restrict out) {
  const u64 head = row.bytes < row.pixel ? row.bytes : row.pixel;
  u32 sum = 0;
  for (u64 k = 0; k < head; ++k) {
    out[k] = residual<Filter>(row.pixels[k], 0, row.above[k], 0);
    sum += u32(std::abs(int(i8(out[k]))));
  }
  const u8 *pixels = row.pixels + head, *left = row.pixels, *above = row.above + head,
           *above_left = row.above;
  u8 *rest = out + head;
  for (u64 k = 0; k < row.bytes - head; ++k) {
    rest[k] = residual<Filter>(pixels[k], left[k], above[k], above_left[k]);
    sum += u32(std::abs(int(i8(rest[k]))));
  }
  return i32(sum);
}

// Writes the filter's number, then the row through the first filter of
// least estimate; `scratch` holds five rows.
void filter_row(const Row &row, u8 *scratch, u8 *out) {
  const i32 costs[5] = {filter_into<0>(row, scratch), filter_into<1>(row, scratch + row.bytes),
                        filter_into<2>(row, scratch + 2 * row.bytes),
                        filter_into<3>(row, scratch + 3 * row.bytes),
                        filter_into<4>(row, scratch + 4 * row.bytes)};
  u64 best = 0;
  for (u64 f = 1; f < 5; ++f)
    if (costs[f] < costs[best]) best = f;
  out[0] = u8(best);
  if (row.bytes != 0) std::memcpy(out + 1, scratch + best * row.bytes, row.bytes);
}

// Asks for huge pages over the whole ones inside a big block, so that its
// first touch takes a fault every 2 MiB instead of every 4 KiB: the faults
// were a fifth of an RGBA page's time. Only advice: nothing changes if the
// system says no.
void advise_huge_pages(u8 *block, u64 size) {
  constexpr uintptr_t huge_page = uintptr_t(2) << 20;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + huge_page - 1) & ~(huge_page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(huge_page - 1);
  if (end > first) madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
}

/// The image's filtered rows, written by one thread and read by another as
/// they become final.
struct FilteredRows {
  const u8 *pixels;
  u64 stride;
  u64 rows;
  u64 pixel;
  std::unique_ptr<u8[]> bytes{new u8[(stride + 1) * rows]};
  std::unique_ptr<u8[]> zero_row{new u8[stride]()};
  std::unique_ptr<u8[]> scratch{new u8[5 * stride]};
  std::atomic<u64> final_bytes{0};

  [[nodiscard]] u64 size() const { return (stride + 1) * rows; }

  void filter_all() {
    u64 unpublished = 0;
    for (u64 y = 0; y < rows; ++y) {
      const u8 *row = pixels + y * stride;
      filter_row({row, y == 0 ? zero_row.get() : row - stride, stride, pixel}, scratch.get(),
                 bytes.get() + y * (stride + 1));
      unpublished += stride + 1;
      if (unpublished >= publish_every || y + 1 == rows) {
        final_bytes.store((y + 1) * (stride + 1), std::memory_order_release);
        final_bytes.notify_one();
        unpublished = 0;
      }
    }
  }

  u64 await(u64 needed) {
    u64 now = final_bytes.load(std::memory_order_acquire);
    while (now < needed) {
      final_bytes.wait(now, std::memory_order_acquire);
      now = final_bytes.load(std::memory_order_acquire);
    }
    return now;
  }
};

u8 *put32(u8 *out, u64 value) {
  const u8 bytes[4] = {u8(value >> 24), u8(value >> 16), u8(value >> 8), u8(value)};
  std::memcpy(out, bytes, 4);
  return out + 4;
}

// Finishes the chunk whose length and type start at `chunk`: its CRC after the data.
u8 *put_crc(const u8 *chunk, u8 *data_end) {
  return put32(data_end, crc32_z(0, chunk + 4, u64(data_end - chunk - 4)));
}

Bytes encode(const u8 *pixels, u64 width, u64 height, u64 channels) {
  FilteredRows filtered{pixels, width * channels, height, channels};
  advise_huge_pages(filtered.bytes.get(), filtered.size());
  // Declared after what it uses, so it is joined before they go.
  std::jthread filterer;
  if (filtered.size() >= smallest_threaded) {
    try {
      filterer = std::jthread([&filtered] { filtered.filter_all(); });
    } catch (const std::system_error &) {
      filtered.filter_all();
    }
  } else {
    filtered.filter_all();
  }

  constexpr u64 before_stream = 8 + 25 + 8, after_stream = 4 + 12;
  Bytes png;
  const u64 capacity = before_stream + zlib_stream_capacity(filtered.size()) + after_stream;
  png.data = new u8[capacity];
  advise_huge_pages(png.data, capacity);
  static constexpr u8 signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  static constexpr u8 colour_types[5] = {0, 0, 4, 2, 6};
  std::memcpy(png.data, signature, 8);
  u8 *out = put32(png.data + 8, 13);
  std::memcpy(out, "IHDR", 4);
  out = put32(put32(out + 4, width), height);
  const u8 header_tail[5] = {8, colour_types[channels], 0, 0, 0};
  std::memcpy(out, header_tail, 5);
  out = put_crc(png.data + 8, out + 5);

  u8 *idat = out;
  const u64 stream = write_zlib_stream(filtered.bytes.get(), filtered.size(), idat + 8,
                                       [&filtered](u64 n) { return filtered.await(n); });
  put32(idat, stream);
  std::memcpy(idat + 4, "IDAT", 4);
  out = put_crc(idat, idat + 8 + stream);
  u8 *iend = out;
  out = put32(out, 0);
  std::memcpy(out, "IEND", 4);
  out = put_crc(iend, out + 4);
  png.len = u64(out - png.data);
  return png;
}

} // namespace

Bytes encode_png(const u8 *pixels, i32 width, i32 height, i32 channels) {
  if (width < 0 || height < 0 || channels < 1 || channels > 4 ||
      (u64(width) * u64(channels) + 1) * u64(height) > largest_filtered)
    throw Err("Cannot encode the PNG image");
  try {
    return encode(pixels, u64(width), u64(height), u64(channels));
  } catch (const std::bad_alloc &) {
    throw Err("Cannot encode the PNG image");
  }
}
