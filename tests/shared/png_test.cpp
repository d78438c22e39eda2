#include "shared/png.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <stb_image_write.h>
#include <thread>
#include <vector>

namespace {

// The reference: stb_image_write with its defaults, as the programs wrote before.
std::vector<u8> stb_png(const std::vector<u8> &pixels, int width, int height, int channels) {
  std::vector<u8> bytes;
  auto append = [](void *to, void *data, int len) {
    auto *out = static_cast<std::vector<u8> *>(to);
    out->insert(out->end(), static_cast<u8 *>(data), static_cast<u8 *>(data) + len);
  };
  const u8 none = 0; // stb copies zero bytes from it, and a null pointer is not allowed there
  const u8 *data = pixels.empty() ? &none : pixels.data();
  EXPECT_EQ(stbi_write_png_to_func(append, &bytes, width, height, channels, data, 0), 1);
  return bytes;
}

enum class Fill { Empty, Noise, Runs, Glyphs, Tiles, Mono };

// Atlas-like content: zero borders, runs, soft-edged discs per channel,
// random black and white (many matches of equal length: the ties),
// noise that stb stores rather than compresses, and a block repeated at
// distances inside, at and past the edge of the window, with small changes.
std::vector<u8> fill(Fill kind, int width, int height, int channels, u32 seed) {
  std::vector<u8> pixels(u64(width) * u64(height) * u64(channels));
  std::mt19937 random(seed);
  for (u64 i = 0; i < pixels.size(); ++i) {
    const u64 x = i / u64(channels) % u64(width), y = i / u64(channels) / u64(width);
    const u64 c = i % u64(channels);
    switch (kind) {
    case Fill::Empty:
      break;
    case Fill::Noise:
      pixels[i] = u8(random());
      break;
    case Fill::Runs:
      pixels[i] = u8((x / 37 + y / 5) % 3 == 0 ? 255 : (x + c) / 300);
      break;
    case Fill::Glyphs: {
      const double dx = double(x % 23) - 11, dy = double(y % 19) - 9 + double(c);
      pixels[i] = u8(std::clamp(255.0 - 40 * (std::sqrt(dx * dx + dy * dy) - 6), 0.0, 255.0));
      break;
    }
    case Fill::Mono:
      pixels[i] = random() % 2 ? 255 : 0;
      break;
    case Fill::Tiles: {
      const u64 period = i < 60000 ? 5000 : i < 150000 ? 32767 : 32768;
      pixels[i] = i < 5000 || random() % 700 == 0 ? u8(random()) : pixels[i - period];
      break;
    }
    }
  }
  return pixels;
}

TEST(Png, BytesEqualStbsForEveryChannelCountSizeAndContent) {
  const struct {
    int width, height;
  } sizes[] = {// not 0 wide with rows: stb writes past its row buffer
               {0, 0}, {3, 0}, {1, 1}, {2, 1}, {7, 3}, {13, 11}, {1, 300}, {301, 67}, {2048, 64}};
  const Fill fills[] = {Fill::Empty,  Fill::Noise, Fill::Runs,
                        Fill::Glyphs, Fill::Tiles, Fill::Mono};
  u32 seed = 1;
  for (int channels = 1; channels <= 4; ++channels) {
    for (auto [width, height] : sizes) {
      for (Fill kind : fills) {
        const std::vector<u8> pixels = fill(kind, width, height, channels, ++seed);
        const Bytes ours = encode_png(pixels.data(), width, height, channels);
        const std::vector<u8> expected = stb_png(pixels, width, height, channels);
        ASSERT_EQ(std::vector<u8>(ours.data, ours.data + ours.len), expected)
            << width << "x" << height << "x" << channels << " fill " << int(kind);
        // The same pixels drawn a band at a time while they are encoded.
        const u64 stride = u64(width) * u64(channels);
        for (const int threads : {1, 2}) {
          std::vector<u8> drawn(pixels.size(), 0xa5);
          std::set<std::thread::id> drawers;
          const auto draw = [&](u64 first, u64 end) {
            drawers.insert(std::this_thread::get_id());
            std::copy(pixels.begin() + i64(first * stride), pixels.begin() + i64(end * stride),
                      drawn.begin() + i64(first * stride));
          };
          int helped = 0; // a waiting compressor's share, whatever it does, changes nothing
          const Bytes late = encode_png(drawn.data(), width, height, channels,
                                        {threads, draw, [&helped] { return ++helped < 3; }});
          ASSERT_EQ(std::vector<u8>(late.data, late.data + late.len), expected)
              << width << "x" << height << "x" << channels << " drawn, threads " << threads;
          // One thread is the caller's: a bake told to use one starts no other.
          if (threads == 1 && height > 0) {
            EXPECT_EQ(drawers, std::set{std::this_thread::get_id()});
          }
        }
      }
    }
  }
}

TEST(Png, ImagesNoPngCanHoldAreAnError) {
  const u8 pixel[4] = {};
  const int cases[][3] = {{-1, 1, 1}, {1, -1, 1}, {1, 1, 0}, {1, 1, 5}, {65536, 65536, 1}};
  for (const auto &c : cases)
    EXPECT_THROW((void)encode_png(pixel, c[0], c[1], c[2]), Err)
        << c[0] << "x" << c[1] << "x" << c[2];
}

} // namespace
