#include "tools/glyphmint/glyphs/colour-glyph.h"

#include "core/log.h"
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/glyphs/ft-stop.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A bitmap's pixels as premultiplied RGBA floats, 0 to 255; coverage is white.
std::vector<float> premultiplied(const FT_Bitmap &bitmap) {
  std::vector<float> out(u64{bitmap.width} * bitmap.rows * 4);
  float *p = out.data();
  for (u32 r = 0; r < bitmap.rows; ++r) {
    const u8 *row = bitmap_row(bitmap, r);
    for (u32 c = 0; c < bitmap.width; ++c, p += 4) {
      if (bitmap.pixel_mode == FT_PIXEL_MODE_BGRA) {
        const u8 *bgra = row + u64{c} * 4;
        p[0] = bgra[2], p[1] = bgra[1], p[2] = bgra[0], p[3] = bgra[3];
      } else {
        const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
        p[0] = p[1] = p[2] = p[3] =
            mono ? ((row[c / 8] >> (7 - c % 8) & 1) ? 255.0f : 0.0f) : row[c];
      }
    }
  }
  return out;
}

// One premultiplied pixel made straight, as PNG keeps it; coverage stays white.
void store_straight(const float *p, bool coverage, u8 *out) {
  const u8 alpha = u8(std::lround(std::clamp(p[3], 0.0f, 255.0f)));
  if (coverage) {
    out[0] = out[1] = out[2] = 255;
  } else {
    for (int c = 0; c < 3; ++c)
      out[c] = alpha == 0 ? 0 : u8(std::min(255l, std::lround(p[c] * 255.0f / p[3])));
  }
  out[3] = alpha;
}

// How much of each source pixel along one axis falls in each output pixel's
// footprint [i / s, (i + 1) / s), clipped at the source's edge: `first` is the
// first source pixel and `weights` its share and its followers'.
struct Footprint {
  u32 first = 0;
  std::vector<float> weights;
  float total = 0;
};

std::vector<Footprint> footprints(u32 source, u32 out, double s) {
  std::vector<Footprint> all(out);
  for (u32 i = 0; i < out; ++i) {
    const double begin = i / s, end = std::min((i + 1) / s, double(source));
    Footprint &f = all[i];
    f.first = u32(begin);
    for (u32 k = f.first; k < source && double(k) < end; ++k) {
      const float w = float(std::min(end, double(k + 1)) - std::max(begin, double(k)));
      f.weights.push_back(w);
      f.total += w;
    }
    if (f.total <= 0) { // rounding put the footprint past the edge: the edge pixel
      f.first = source - 1;
      f.weights.assign(1, 1.0f);
      f.total = 1;
    }
  }
  return all;
}

// The box filter, one axis after the other: columns first into `across`,
// then rows into the glyph's pixels.
void box_scale(const std::vector<float> &from, u32 width, u32 rows, double s, bool coverage,
               RasterGlyph &glyph) {
  const std::vector<Footprint> xs = footprints(width, glyph.width, s);
  const std::vector<Footprint> ys = footprints(rows, glyph.rows, s);
  std::vector<float> across(u64{glyph.width} * rows * 4);
  for (u32 r = 0; r < rows; ++r)
    for (u32 i = 0; i < glyph.width; ++i) {
      float sum[4] = {};
      const float *p = from.data() + (u64{r} * width + xs[i].first) * 4;
      for (const float w : xs[i].weights)
        for (int c = 0; c < 4; ++c) sum[c] += w * *p++;
      float *to = across.data() + (u64{r} * glyph.width + i) * 4;
      for (int c = 0; c < 4; ++c) to[c] = sum[c] / xs[i].total;
    }
  for (u32 j = 0; j < glyph.rows; ++j)
    for (u32 i = 0; i < glyph.width; ++i) {
      float sum[4] = {};
      for (u64 k = 0; k < ys[j].weights.size(); ++k) {
        const float *p = across.data() + ((ys[j].first + k) * glyph.width + i) * 4;
        for (int c = 0; c < 4; ++c) sum[c] += ys[j].weights[k] * p[c];
      }
      for (float &v : sum) v /= ys[j].total;
      store_straight(sum, coverage, glyph.pixels + (u64{j} * glyph.width + i) * 4);
    }
}

} // namespace

RasterGlyph load_colour_glyph(FT_Face face, FT_UInt glyph_index, double strike_scale,
                              CellBudget *budget) {
  check_ft(load_glyph(face, glyph_index, RenderMode::Color));
  // COLR layers are blended into BGRA here, since the glyph was loaded with colour.
  if (face->glyph->format != FT_GLYPH_FORMAT_BITMAP)
    check_ft(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL),
             "FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)");
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap &bitmap = slot->bitmap;
  RasterGlyph glyph;
  glyph.channels = 4;
  const bool empty = bitmap.width == 0 || bitmap.rows == 0;
  if (!empty && bitmap.pixel_mode != FT_PIXEL_MODE_BGRA &&
      bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
    log_critical("Unexpected FT pixel mode: ", int(bitmap.pixel_mode),
                 ", expected: ", int(FT_PIXEL_MODE_BGRA));
  const bool scaled = strike_scale > 0;
  glyph.width = empty ? 0 : scaled ? u32(std::ceil(bitmap.width * strike_scale)) : bitmap.width;
  glyph.rows = empty ? 0 : scaled ? u32(std::ceil(bitmap.rows * strike_scale)) : bitmap.rows;
  glyph.bearing_x = scaled ? i32(std::lround(slot->bitmap_left * strike_scale)) : slot->bitmap_left;
  glyph.bearing_y = scaled ? i32(std::lround(slot->bitmap_top * strike_scale)) : slot->bitmap_top;
  if (budget != nullptr) budget->take(glyph.width, glyph.rows);
  glyph.pixels_size = u64{glyph.width} * glyph.rows * 4;
  if (glyph.pixels_size == 0) return glyph;
  glyph.pixels = new u8[glyph.pixels_size];
  const std::vector<float> from = premultiplied(bitmap);
  const bool coverage = bitmap.pixel_mode != FT_PIXEL_MODE_BGRA;
  if (scaled) {
    box_scale(from, bitmap.width, bitmap.rows, strike_scale, coverage, glyph);
  } else {
    for (u64 i = 0; i < u64{glyph.width} * glyph.rows; ++i)
      store_straight(from.data() + i * 4, coverage, glyph.pixels + i * 4);
  }
  return glyph;
}
