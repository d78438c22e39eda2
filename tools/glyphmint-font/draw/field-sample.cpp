#include "tools/glyphmint-font/draw/field-sample.h"

#include <algorithm>
#include <cmath>

namespace {

double bilinear(const Image &atlas, const gm_placed_glyph &g, i32 channel, double u, double v) {
  const auto pixel = [&](i64 x, i64 y) {
    x = std::clamp<i64>(x, 0, g.width - 1);
    y = std::clamp<i64>(y, 0, g.height - 1);
    return double(atlas.at(g.src_x + x, g.src_y + y)[channel]);
  };
  const double fu = std::floor(u), fv = std::floor(v);
  const i64 x = i64(fu), y = i64(fv);
  const double ax = u - fu, ay = v - fv;
  const double top = pixel(x, y) * (1 - ax) + pixel(x + 1, y) * ax;
  const double bottom = pixel(x, y + 1) * (1 - ax) + pixel(x + 1, y + 1) * ax;
  return top * (1 - ay) + bottom * ay;
}

} // namespace

double field_value(const Image &atlas, const gm_placed_glyph &g, gm_kind kind, double u, double v) {
  if (kind != GM_KIND_MSDF && kind != GM_KIND_MTSDF) return bilinear(atlas, g, 0, u, v);
  // The median, not of the pixels but of the samples: each channel is a
  // distance of its own, and only interpolated distances keep corners sharp.
  const double r = bilinear(atlas, g, 0, u, v);
  const double gr = bilinear(atlas, g, 1, u, v);
  const double b = bilinear(atlas, g, 2, u, v);
  return std::max(std::min(r, gr), std::min(std::max(r, gr), b));
}

u8 field_coverage(double s, i32 spread, double scale) {
  const double ramp = double(spread) * scale / 128.0;
  return u8(std::lround(255.0 * std::clamp(0.5 + (s - 128.0) * ramp, 0.0, 1.0)));
}
