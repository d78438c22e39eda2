// The true signed distance from pixel centres to the edge of the region a
// glyph outline fills, and a field's errors against it, to judge distance
// fields by. From FreeType's documentation and the textbook distance
// transform alone, with nothing of the tool's: FreeType renders the outline's
// coverage at 8 times the size (its rasteriser applies the fill rule,
// overlapping contours included), and an exact Euclidean distance transform
// of that rendering gives the distances to within about 1/16 pixel.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <vector>

namespace support {

/// Pixels in a glyph's pixel coordinates: the left column's x, the top row's
/// y (up), and the size.
struct PixelBox {
  int left, top, width, rows;
};

/// Squared distances along a line of n cells `stride` apart, given squared
/// distances across it (0 on a target, huge elsewhere): the lower envelope of
/// the parabolas rooted at the cells (Felzenszwalb and Huttenlocher).
inline void distance_transform_line(double *cells, int n, int stride) {
  std::vector<double> f(static_cast<size_t>(n)), z(static_cast<size_t>(n) + 1);
  std::vector<int> roots(static_cast<size_t>(n));
  for (int q = 0; q < n; ++q) f[size_t(q)] = cells[size_t(q) * size_t(stride)];
  const auto meet = [&](int q, int r) {
    return ((f[size_t(q)] + q * double(q)) - (f[size_t(r)] + r * double(r))) / (2.0 * (q - r));
  };
  int k = 0;
  z[0] = -HUGE_VAL, z[1] = HUGE_VAL;
  for (int q = 1; q < n; ++q) {
    double s = meet(q, roots[size_t(k)]);
    while (s <= z[size_t(k)]) s = meet(q, roots[size_t(--k)]);
    roots[size_t(++k)] = q, z[size_t(k)] = s, z[size_t(k) + 1] = HUGE_VAL;
  }
  k = 0;
  for (int q = 0; q < n; ++q) {
    while (z[size_t(k) + 1] < q) ++k;
    const int r = roots[size_t(k)];
    cells[size_t(q) * size_t(stride)] = (q - r) * double(q - r) + f[size_t(r)];
  }
}

/// FreeType's coverage of the outline (26.6, y up) on `box` at 8 times the
/// size, rows top first, moved `shift` fine pixels right and down. Empty when
/// FreeType fails.
inline std::vector<unsigned char> coverage_8x(FT_Library library, const FT_Outline &outline,
                                              PixelBox box, double shift) {
  constexpr int k_scale = 8;
  const int width = box.width * k_scale, rows = box.rows * k_scale;
  std::vector<unsigned char> coverage(size_t(width) * size_t(rows), 0);
  FT_Bitmap bitmap{};
  bitmap.rows = unsigned(rows), bitmap.width = unsigned(width), bitmap.pitch = width;
  bitmap.buffer = coverage.data(), bitmap.num_grays = 256, bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
  FT_Outline big{};
  const FT_Matrix grow{k_scale << 16, 0, 0, k_scale << 16};
  if (FT_Outline_New(library, FT_UInt(outline.n_points), outline.n_contours, &big)) return {};
  FT_Outline_Copy(&outline, &big);
  FT_Outline_Translate(&big, -FT_Pos{box.left} * 64, -FT_Pos{box.top - box.rows} * 64);
  FT_Outline_Transform(&big, &grow);
  FT_Outline_Translate(&big, FT_Pos(shift * 64), -FT_Pos(shift * 64));
  const FT_Error error = FT_Outline_Get_Bitmap(library, &big, &bitmap);
  FT_Outline_Done(library, &big);
  if (error) return {};
  return coverage;
}

/// Squared distances in fine pixels from each fine pixel to the nearest one
/// of the other side of 128 coverage, of a coverage_8x() of `width` columns.
inline std::vector<double> squared_distances_across(const std::vector<unsigned char> &coverage,
                                                    int width, bool to_inside) {
  const int rows = int(coverage.size()) / width;
  std::vector<double> d(coverage.size());
  for (size_t k = 0; k < coverage.size(); ++k) d[k] = (coverage[k] >= 128) == to_inside ? 0 : 1e14;
  for (int x = 0; x < width; ++x) distance_transform_line(d.data() + x, rows, width);
  for (int y = 0; y < rows; ++y) distance_transform_line(d.data() + size_t(y) * size_t(width), width, 1);
  return d;
}

/// The signed distance in pixels from each pixel centre of `box` (rows top
/// first) to the edge of the region the outline (26.6, y up) fills, positive
/// inside. Empty when FreeType fails.
inline std::vector<float> true_distances(FT_Library library, const FT_Outline &outline,
                                         PixelBox box) {
  constexpr int k_scale = 8;
  const int width = box.width * k_scale;
  // Half a fine pixel right and down: pixel centre (i, j) of the box is that
  // of fine pixel (8i + 4, 8j + 4).
  const std::vector<unsigned char> coverage = coverage_8x(library, outline, box, 0.5);
  if (coverage.empty()) return {};
  // Squared distances to the nearest fine pixel inside, and outside.
  const std::vector<double> in = squared_distances_across(coverage, width, true);
  const std::vector<double> out = squared_distances_across(coverage, width, false);
  std::vector<float> distances;
  for (int j = 0; j < box.rows; ++j) {
    for (int i = 0; i < box.width; ++i) {
      const size_t at = size_t(j * k_scale + 4) * size_t(width) + size_t(i * k_scale + 4);
      // The edge lies about half a fine pixel short of the nearest fine pixel
      // centre on its other side.
      const double fine = in[at] == 0 ? std::sqrt(out[at]) - 0.5 : 0.5 - std::sqrt(in[at]);
      distances.push_back(float(fine / k_scale));
    }
  }
  return distances;
}

/// Adds to `errors` how far each distance of `field` (bytes 128 + 128 × d /
/// spread on `field_box`) is from `truth` (on `truth_box`), in pixels, over
/// the pixels both hold whose true distance is within 0.9 × spread.
inline void gather_errors(const std::vector<unsigned char> &field, PixelBox field_box,
                          const std::vector<float> &truth, PixelBox truth_box, int spread,
                          std::vector<double> &errors) {
  for (int j = 0; j < truth_box.rows; ++j) {
    for (int i = 0; i < truth_box.width; ++i) {
      const int fi = i + truth_box.left - field_box.left, fj = j + field_box.top - truth_box.top;
      const double d = truth[size_t(j) * size_t(truth_box.width) + size_t(i)];
      if (fi < 0 || fj < 0 || fi >= field_box.width || fj >= field_box.rows ||
          std::fabs(d) > 0.9 * spread)
        continue;
      const unsigned char byte = field[size_t(fj) * size_t(field_box.width) + size_t(fi)];
      errors.push_back(std::fabs((byte - 128.0) * spread / 128.0 - d));
    }
  }
}

/// The mean, 99th percentile and worst of some errors, and their count.
struct FieldError {
  double mean = 0, p99 = 0, worst = 0;
  size_t pixels = 0;
};

inline FieldError summarise(std::vector<double> errors) {
  if (errors.empty()) return {};
  std::sort(errors.begin(), errors.end());
  double sum = 0;
  for (const double e : errors) sum += e;
  return {sum / double(errors.size()), errors[errors.size() * 99 / 100], errors.back(),
          errors.size()};
}

} // namespace support
