#include "tools/glyphmint-font/baked/loaded-font.h"

#include "core/fmt.h"
#include "tools/glyphmint-font/cli/given-paths.h"

#include <climits>
#include <cstring>
#include <stb_image.h>

namespace {

[[noreturn]] void fail(const Path &path, StrView what) {
  throw Err(fmt(path, ": ", what));
}

[[noreturn]] void fail_at(const Path &path, gm_error error, size_t offset) {
  throw Err(fmt(path, ": ", StrView(gm_error_text(error)), " (offset ", u64{offset}, ")"));
}

Bytes read_whole(const Path &path) {
  require_short_path(path);
  if (path.type() != FsType::File) fail(path, "not found or not a regular file");
  try {
    return path.read_bytes();
  } catch (const Err &) {
    fail(path, "cannot be read");
  }
}

// stb_image widens 1, 2 and 4-bit greyscale to 8 bits and turns palettes into
// colour without saying so, so the header's own bit depth and colour type
// decide what the file is.
constexpr u64 k_max_side = 32768;
// The decoded image's bytes, all channels counted: the largest atlas a bake
// makes (2048x4096 RGBA) is 32 MiB.
constexpr u64 k_max_decoded_bytes = u64{1} << 28;

u64 load_be_u32(const u8 *p) {
  return u64(p[0]) << 24 | u64(p[1]) << 16 | u64(p[2]) << 8 | u64(p[3]);
}

bool is_png(const Bytes &bytes) {
  static const u8 signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  return bytes.len >= 8 && std::memcmp(bytes.data, signature, 8) == 0;
}

// PNG's colour type for 8-bit pixels of that many channels.
u8 png_colour_type(i32 channels) {
  return channels == 1 ? 0 : channels == 3 ? 2 : 6;
}

StrView png_kind_name(i32 channels) {
  return channels == 1 ? StrView("greyscale") : channels == 3 ? StrView("RGB") : StrView("RGBA");
}

bool is_8bit_png_of(const Bytes &png, i32 channels) {
  return png.len >= 33 && is_png(png) && std::memcmp(png.data + 12, "IHDR", 4) == 0 &&
         png.data[24] == 8 && png.data[25] == png_colour_type(channels);
}

LoadedFont load_fnt(const Path &fnt_path) {
  LoadedFont loaded;
  loaded.fnt_path = Path(fnt_path.view());
  loaded.bytes = read_whole(fnt_path);
  size_t offset = 0;
  const gm_error e = gm_font_parse(&loaded.font, loaded.bytes.data, loaded.bytes.len, &offset);
  // The atlas beside a .fnt is the file most often given in its place.
  if (e != GM_OK && is_png(loaded.bytes))
    fail(fnt_path, "is a PNG image, not a baked font: name the .fnt file that goes with it");
  if (e != GM_OK) fail_at(fnt_path, e, offset);
  const StrView name = loaded.image_name();
  if (name.len == 0 || std::memchr(name.data, '\0', name.len) != nullptr)
    fail(fnt_path, "image name is empty or holds a NUL byte");
  loaded.image_path = fnt_path.parent().text.empty() ? Path(name) : fnt_path.parent() / name;
  return loaded;
}

} // namespace

Image read_atlas_png(const Path &path, i32 channels) {
  const Bytes png = read_whole(path);
  if (!is_8bit_png_of(png, channels))
    fail(path, fmt("not an 8-bit ", png_kind_name(channels), " PNG"));
  // The header's size is checked before decoding, so a hostile file cannot
  // make the decoder ask for gigabytes: its buffers and the copy below hold
  // at most 256 MiB each, whatever the channels.
  const u64 width = load_be_u32(png.data + 16);
  const u64 height = load_be_u32(png.data + 20);
  if (png.len > u64(INT_MAX) || width > k_max_side || height > k_max_side ||
      width * height * u64(channels) > k_max_decoded_bytes)
    fail(path, fmt("image too large (", width, "x", height, ")"));
  Image image;
  int file_channels = 0;
  u8 *pixels = stbi_load_from_memory(png.data, static_cast<int>(png.len), &image.width,
                                     &image.height, &file_channels, channels);
  if (pixels == nullptr) fail(path, fmt("damaged PNG (", StrView(stbi_failure_reason()), ")"));
  image.channels = channels;
  image.pixels.reset(new u8[image.byte_size()]);
  std::memcpy(image.pixels.get(), pixels, image.byte_size());
  stbi_image_free(pixels);
  return image;
}

std::optional<gm_glyph> LoadedFont::glyph_by_index(u32 font_number, u32 glyph_index) const {
  const ptrdiff_t record = gm_font_find_glyph(&font, font_number, glyph_index);
  if (record < 0) return std::nullopt;
  return gm_font_record(&font, size_t(record));
}

LoadedFont LoadedFont::load_without_atlas(const Path &fnt_path) {
  return load_fnt(fnt_path);
}

LoadedFont LoadedFont::load(const Path &fnt_path) {
  LoadedFont loaded = load_fnt(fnt_path);
  loaded.atlas = read_atlas_png(loaded.image_path, loaded.font.channels);
  size_t offset = 0;
  const gm_error e =
      gm_font_check_atlas(&loaded.font, u32(loaded.atlas.width), u32(loaded.atlas.height), &offset);
  if (e != GM_OK) fail_at(fnt_path, e, offset);
  return loaded;
}
