// How the field is judged between its texels. A cell is the square between
// four texel centres; what a GPU draws there blends those four. Each cell
// near the outline is sampled on a grid of points: where the median of the
// blended channels and the blend of the true distances agree on the side,
// the median is taken as right (the blended true distance is good away from
// corners, and the median is what keeps corners). Where they disagree, the
// fill decides, and each of the cell's texels is tried with the true
// distance in all three channels: it keeps that when the cells it touches
// then draw more of their points on the right side. So a corner the median
// draws sharp keeps its channels, and a crossing or crossbar that the
// channels' interpolation cuts gets the true distance, which does not.
#include "tools/glyphmint/fields/sampled-correction.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace outline {

namespace {

// Points per cell along each side: a field drawn at 8 times is looked at
// this finely; 4 points cost a third of the gain at 12 and 16 px.
constexpr int k_grid = 8;
constexpr int k_points = k_grid * k_grid;
static_assert(k_points <= 64, "a cell's points are the bits of a u64");

float median(float a, float b, float c) {
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

/// Each point's bilinear weights of the cell's corners (top left, top
/// right, bottom left, bottom right), for a grid of n x n points.
template <int n> struct Weights {
  std::array<std::array<float, 4>, size_t(n *n)> w{};
  Weights() {
    for (int b = 0; b < n; ++b) {
      for (int a = 0; a < n; ++a) {
        const float u = (float(a) + 0.5f) / n, v = (float(b) + 0.5f) / n;
        w[size_t(b * n + a)] = {(1 - u) * (1 - v), u * (1 - v), (1 - u) * v, u * v};
      }
    }
  }
};
const Weights<k_grid> k_weights;
// Suspects are found on a coarser grid: a wrong median worth correcting
// spans more than one point of it.
constexpr int k_coarse = 4;
const Weights<k_coarse> k_coarse_weights;
// Closer to the outline than this, the blend of the true distances is no
// evidence: it is good to about a quarter of a pixel, but notches shallower
// than that still cut # at 16 px, so the fill judges from here on.
constexpr float k_blend_error = 0.05f;

class Judge {
public:
  Judge(const FillIndex &fill, ChannelDistances &field)
      : fill_(fill), f_(field), cells_(size_t(field.width - 1) * size_t(field.rows - 1)),
        known_(cells_.size()) {}

  /// Whether the drawn median and the blended true distance disagree
  /// somewhere in cell (i, j), its top left texel (i, j).
  [[nodiscard]] bool suspect(int i, int j) const {
    const Corners c = corners(i, j);
    float low = 0, high = 0;
    for (const float *t : c.rgb)
      low = std::min({low, t[0], t[1], t[2]}), high = std::max({high, t[0], t[1], t[2]});
    for (const float t : c.truth) low = std::min(low, t), high = std::max(high, t);
    if (low >= 0 || high < 0) return false;
    // Where the four texels order their channels alike, no two channels cross
    // within the cell, and the median drawn is one channel's blend.
    const u8 first = order(c.rgb[0]);
    if (order(c.rgb[1]) == first && order(c.rgb[2]) == first && order(c.rgb[3]) == first)
      return false;
    for (const auto &w : k_coarse_weights.w) {
      const float t = blend(c.truth, w);
      if ((drawn(c, w) >= 0) != (t >= 0) && std::fabs(t) > k_blend_error) return true;
    }
    return false;
  }

  /// The points of the cells around texel (i, j) drawn on the wrong side.
  [[nodiscard]] int wrong_around(int i, int j) {
    int wrong = 0;
    for (int cj = std::max(0, j - 1); cj <= std::min(j, f_.rows - 2); ++cj)
      for (int ci = std::max(0, i - 1); ci <= std::min(i, f_.width - 2); ++ci)
        wrong += wrong_in(ci, cj);
    return wrong;
  }

private:
  struct Corners {
    std::array<const float *, 4> rgb;
    std::array<float, 4> truth;
  };

  [[nodiscard]] Corners corners(int i, int j) const {
    const size_t w = size_t(f_.width), t = size_t(j) * w + size_t(i);
    return {{f_.at(t), f_.at(t + 1), f_.at(t + w), f_.at(t + w + 1)},
            {f_.truth[t], f_.truth[t + 1], f_.truth[t + w], f_.truth[t + w + 1]}};
  }
  static u8 order(const float *c) {
    return u8((c[0] < c[1]) | (c[0] < c[2]) << 1 | (c[1] < c[2]) << 2);
  }
  using Point4 = std::array<float, 4>;
  static float blend(const Point4 &v, const Point4 &w) {
    return w[0] * v[0] + w[1] * v[1] + w[2] * v[2] + w[3] * v[3];
  }
  static float drawn(const Corners &c, const Point4 &w) {
    float m[3];
    for (size_t k = 0; k < 3; ++k)
      m[k] = blend({c.rgb[0][k], c.rgb[1][k], c.rgb[2][k], c.rgb[3][k]}, w);
    return median(m[0], m[1], m[2]);
  }

  /// Which of the cell's points the outline fills, a bit each; found once.
  u64 filled(int i, int j) {
    const size_t cell = size_t(j) * size_t(f_.width - 1) + size_t(i);
    u64 &points = cells_[cell];
    if (known_[cell]) return points;
    known_[cell] = true;
    for (int b = 0; b < k_grid; ++b)
      for (int a = 0; a < k_grid; ++a)
        if (fill_.filled(
                {float(i) + (float(a) + 0.5f) / k_grid, float(j) + (float(b) + 0.5f) / k_grid}))
          points |= u64{1} << (b * k_grid + a);
    return points;
  }

  int wrong_in(int i, int j) {
    const Corners c = corners(i, j);
    const u64 inside = filled(i, j);
    int wrong = 0;
    for (size_t p = 0; p < k_points; ++p)
      wrong += (drawn(c, k_weights.w[p]) >= 0) != ((inside >> p & 1) != 0);
    return wrong;
  }

  const FillIndex &fill_;
  ChannelDistances &f_;
  std::vector<u64> cells_;
  std::vector<bool> known_;
};

} // namespace

void correct_between_texels(const FillIndex &fill, ChannelDistances &field) {
  if (field.width < 2 || field.rows < 2) return;
  Judge judge(fill, field);
  const size_t width = size_t(field.width);
  std::vector<bool> candidate(field.truth.size());
  for (int j = 0; j + 1 < field.rows; ++j) {
    for (int i = 0; i + 1 < field.width; ++i) {
      if (!judge.suspect(i, j)) continue;
      const size_t t = size_t(j) * width + size_t(i);
      candidate[t] = candidate[t + 1] = candidate[t + width] = candidate[t + width + 1] = true;
    }
  }
  for (size_t t = 0; t < candidate.size(); ++t) {
    if (!candidate[t]) continue;
    const int i = int(t % width), j = int(t / width);
    float *const rgb = field.at(t);
    const float kept[3] = {rgb[0], rgb[1], rgb[2]};
    if (kept[0] == field.truth[t] && kept[1] == field.truth[t] && kept[2] == field.truth[t])
      continue;
    const int before = judge.wrong_around(i, j);
    std::fill_n(rgb, 3, field.truth[t]);
    if (judge.wrong_around(i, j) >= before) std::copy_n(kept, 3, rgb);
  }
}

} // namespace outline
