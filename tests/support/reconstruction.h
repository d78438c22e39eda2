// A distance field drawn 8 times as large as a GPU draws it (each channel
// sampled bilinearly at the output pixel centres, clamped to the edge; the
// median of three; inside from 128) against FreeType's coverage of the same
// outline at 8 times the size: mismatches near the outline's corners, far
// from it and overall, and the distance the field gives beside straight edges.
#pragma once

#include "tests/support/true-distance.h"

#include <utility>

namespace support {

/// A field's bytes, rows top first on `box`: 1 channel, or 3 or 4 of which
/// the first three are a multi-channel field's.
struct FieldView {
  const unsigned char *pixels;
  int channels;
  PixelBox box;
  int spread;
};

/// The field's value at (u, v), in texels from the top left texel's centre.
inline double sample(const FieldView &f, double u, double v) {
  const auto clamped = [](double x, int n) { return std::clamp(x, 0.0, double(n - 1)); };
  u = clamped(u, f.box.width), v = clamped(v, f.box.rows);
  const int i = int(u), j = int(v), i1 = std::min(i + 1, f.box.width - 1);
  const int j1 = std::min(j + 1, f.box.rows - 1);
  const double fu = u - i, fv = v - j;
  double c[3];
  for (int k = 0; k < std::min(3, f.channels); ++k) {
    const auto at = [&](int x, int y) {
      return double(f.pixels[(size_t(y) * size_t(f.box.width) + size_t(x)) * size_t(f.channels) +
                             size_t(k)]);
    };
    c[k] = (at(i, j) * (1 - fu) + at(i1, j) * fu) * (1 - fv) +
           (at(i, j1) * (1 - fu) + at(i1, j1) * fu) * fv;
  }
  if (f.channels == 1) return c[0];
  return std::max(std::min(c[0], c[1]), std::min(std::max(c[0], c[1]), c[2]));
}

/// The outline in the box's pixels (y down): where it turns by more than 8°,
/// its length, and its straight edges.
struct Shape {
  using P = std::pair<double, double>;
  std::vector<P> corners;
  double length = 0;
  std::vector<std::pair<P, P>> lines;
  P last, in, out_of_first; ///< while reading: the pen, the direction in, the contour's first
  bool first_edge = true;
};

inline Shape shape_of(const FT_Outline &outline, PixelBox box) {
  using P = Shape::P;
  struct Reader {
    Shape s;
    PixelBox box;
    P map(const FT_Vector *v) const { return {double(v->x) / 64 - box.left, box.top - double(v->y) / 64}; }
    // One edge of control points c: its length, and a corner where it starts.
    void edge(std::vector<P> c) {
      P a = c.front(), d0{0, 0}, d1{0, 0};
      for (size_t k = 1; k < c.size() && d0 == P{0, 0}; ++k) d0 = {c[k].first - a.first, c[k].second - a.second};
      for (size_t k = c.size() - 1; k-- > 0 && d1 == P{0, 0};) d1 = {c.back().first - c[k].first, c.back().second - c[k].second};
      if (d0 == P{0, 0}) return;
      turn(s.first_edge ? P{0, 0} : s.in, d0);
      if (s.first_edge) s.out_of_first = d0, s.first_edge = false;
      s.in = d1, s.last = c.back();
      for (int k = 1; k <= 16; ++k) { // the length, of 16 chords
        const double t = k / 16.0, u = 1 - t;
        P p = c.size() == 2 ? P{u * c[0].first + t * c[1].first, u * c[0].second + t * c[1].second}
              : c.size() == 3 ? P{u * u * c[0].first + 2 * u * t * c[1].first + t * t * c[2].first,
                                  u * u * c[0].second + 2 * u * t * c[1].second + t * t * c[2].second}
                              : P{u * u * u * c[0].first + 3 * u * t * (u * c[1].first + t * c[2].first) + t * t * t * c[3].first,
                                  u * u * u * c[0].second + 3 * u * t * (u * c[1].second + t * c[2].second) + t * t * t * c[3].second};
        s.length += std::hypot(p.first - a.first, p.second - a.second), a = p;
      }
      if (c.size() == 2) s.lines.push_back({c[0], c[1]});
    }
    void turn(P in, P out) {
      const double angle = std::atan2(std::fabs(in.first * out.second - in.second * out.first),
                                      in.first * out.first + in.second * out.second);
      if (in != P{0, 0} && angle > 8 * M_PI / 180) s.corners.push_back(s.last);
    }
    static Reader &of(void *user) { return *static_cast<Reader *>(user); }
  } reading{{}, box};
  const FT_Outline_Funcs funcs{
      [](const FT_Vector *to, void *u) {
        Reader &r = Reader::of(u);
        if (!r.s.first_edge) r.turn(r.s.in, r.s.out_of_first);
        r.s.first_edge = true, r.s.last = r.map(to);
        return 0;
      },
      [](const FT_Vector *to, void *u) {
        Reader &r = Reader::of(u);
        return r.edge({r.s.last, r.map(to)}), 0;
      },
      [](const FT_Vector *c, const FT_Vector *to, void *u) {
        Reader &r = Reader::of(u);
        return r.edge({r.s.last, r.map(c), r.map(to)}), 0;
      },
      [](const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *u) {
        Reader &r = Reader::of(u);
        return r.edge({r.s.last, r.map(c1), r.map(c2), r.map(to)}), 0;
      },
      0, 0};
  FT_Outline_Decompose(const_cast<FT_Outline *>(&outline), &funcs, &reading);
  if (!reading.s.first_edge) reading.turn(reading.s.in, reading.s.out_of_first);
  return reading.s;
}

/// How a field draws its glyph at 8 times; areas in square source pixels.
struct Accuracy {
  double corner_mismatch = 0; ///< within 2 pixels of a corner
  int artefacts = 0;          ///< mismatched output pixels more than a pixel from the outline
  double mismatch = 0, length = 0, iou = 1;
  double straight_error = 0; ///< summed over straight_samples, in pixels
  int straight_samples = 0;
};

// Beside the middle half of straight edges at least 2 pixels long that
// bound the filled region, the distance the field gives against the true one.
inline void straight_edges(const FieldView &f, const Shape &shape,
                           const std::vector<unsigned char> &truth, Accuracy &a) {
  const int width = f.box.width * 8;
  const auto filled = [&](double x, double y) {
    return truth[size_t(y * 8) * size_t(width) + size_t(x * 8)] >= 128;
  };
  for (const auto &[p, q] : shape.lines) {
    const double dx = q.first - p.first, dy = q.second - p.second, len = std::hypot(dx, dy);
    for (double t = 0.25; len >= 2 && t <= 0.75; t += 0.125) {
      const double x = p.first + t * dx, y = p.second + t * dy, nx = -dy / len, ny = dx / len;
      if (filled(x + nx / 4, y + ny / 4) == filled(x - nx / 4, y - ny / 4)) continue;
      for (const double off : {-0.25, -0.125, 0.125, 0.25}) {
        const double sign = filled(x + off * nx, y + off * ny) ? 1 : -1;
        const double got = (sample(f, x + off * nx - 0.5, y + off * ny - 0.5) - 128) * f.spread / 128;
        a.straight_error += std::fabs(got - sign * std::fabs(off)), ++a.straight_samples;
      }
    }
  }
}

/// Each field's accuracy, all on one box with one spread.
inline std::vector<Accuracy> measure(FT_Library library, const FT_Outline &outline,
                                     const std::vector<FieldView> &fields) {
  const PixelBox box = fields.front().box;
  const int width = box.width * 8, rows = box.rows * 8;
  const std::vector<unsigned char> truth = coverage_8x(library, outline, box, 0);
  const std::vector<double> in = squared_distances_across(truth, width, true);
  const std::vector<double> out = squared_distances_across(truth, width, false);
  const Shape shape = shape_of(outline, box);
  std::vector<Accuracy> all;
  for (const FieldView &f : fields) {
    Accuracy &a = all.emplace_back();
    double both = 0, either = 0;
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < width; ++x) {
        const size_t k = size_t(y) * size_t(width) + size_t(x);
        const bool drawn = sample(f, (x + 0.5) / 8 - 0.5, (y + 0.5) / 8 - 0.5) >= 128;
        const bool inside = truth[k] >= 128;
        both += drawn && inside, either += drawn || inside;
        if (drawn == inside) continue;
        a.mismatch += 1 / 64.0;
        a.artefacts += std::sqrt(inside ? out[k] : in[k]) > 8;
        for (const auto &[cx, cy] : shape.corners) {
          if (std::hypot((x + 0.5) / 8 - cx, (y + 0.5) / 8 - cy) > 2) continue;
          a.corner_mismatch += 1 / 64.0;
          break;
        }
      }
    }
    a.iou = either == 0 ? 1 : both / either, a.length = shape.length;
    straight_edges(f, shape, truth, a);
  }
  return all;
}


} // namespace support
