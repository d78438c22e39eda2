// The PNG encoder against stb_image_write, the reference it must equal byte
// for byte: a width, a height and a channel count from the first bytes, the
// pixels from the rest, repeated to fill the image (so short inputs still
// make long runs and far matches).
#include "fuzz/fuzz-support.h"

#include "shared/png.h"

#include <stb_image_write.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
  fuzz::Reader in(data, size);
  const int width = int(in.bytes(2) % 600);
  const int height = int(in.byte() % 80);
  const int channels = 1 + in.byte() % 4;
  const std::string pattern = in.rest();
  // At least one byte: stb copies zero bytes from an empty image's rows, and
  // a null pointer is not allowed there.
  std::vector<u8> pixels(u64(width) * u64(height) * u64(channels) + 1);
  for (u64 i = 0; i < pixels.size() && !pattern.empty(); ++i)
    pixels[i] = u8(pattern[i % pattern.size()]);

  const Bytes ours = encode_png(pixels.data(), width, height, channels);
  if (width == 0 && height > 0) return 0; // stb writes past its row buffer
  std::vector<u8> expected;
  auto append = [](void *to, void *bytes, int len) {
    auto *out = static_cast<std::vector<u8> *>(to);
    out->insert(out->end(), static_cast<u8 *>(bytes), static_cast<u8 *>(bytes) + len);
  };
  FUZZ_CHECK(stbi_write_png_to_func(append, &expected, width, height, channels, pixels.data(), 0),
             "stb could not encode");
  FUZZ_CHECK(std::vector<u8>(ours.data, ours.data + ours.len) == expected,
             std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(channels) +
                 ": " + std::to_string(ours.len) + " bytes, stb " +
                 std::to_string(expected.size()));
  return 0;
}
