// How runs are recoloured. Each pair of runs that are not neighbours around
// one contour, and that come within k_close pixels of each other with
// pieces facing each other, weighs how close they come; pieces are filed in a grid of cells that
// size so that only pieces near each other are measured. Then each contour with such a pair is
// walked again from each of its corners in turn, starting with each colour, taking at every corner
// whichever of the two colours allowed there (not the previous run's, nor at the last the first's)
// weighs least against the runs already coloured, here and in the other contours; the lightest walk
// wins if it is lighter than the colours the contour has.
#include "tools/glyphmint/fields/run-colours.h"

#include <algorithm>

namespace outline {

namespace {

// Runs closer than this are a stroke or a gap that the texels may not
// resolve: about two texels, the span bilinear filtering blends.
constexpr float k_close = 1.5f;
// Pieces facing each other run at least this far from parallel (cos 120°).
constexpr float k_facing = -0.5f;

float to_segment(Point p, Point a, Point b) {
  const Point d = b - a;
  const float len2 = dot(d, d);
  const float t = len2 > 0 ? std::clamp(dot(p - a, d) / len2, 0.0f, 1.0f) : 0.0f;
  return length(p - (a + d * t));
}

float between(const EdgePiece &p, const EdgePiece &q) {
  return std::min({to_segment(p.a, q.a, q.b), to_segment(p.b, q.a, q.b), to_segment(q.a, p.a, p.b),
                   to_segment(q.b, p.a, p.b)});
}

/// How close each pair of runs comes, as k_close less the distance, 0 apart.
class Closeness {
public:
  Closeness(const std::vector<EdgePiece> &pieces, const std::vector<Run> &runs,
            const std::vector<size_t> &contour_ends)
      : n_(runs.size()), weight_(n_ * n_), contour_(n_) {
    std::vector<size_t> run_of(pieces.size(), n_);
    for (size_t r = 0, c = 0; r < n_; ++r) {
      while (r >= contour_ends[c]) ++c;
      contour_[r] = c;
      for (size_t k = runs[r].first; k < runs[r].end; ++k) run_of[k] = r;
    }
    file(pieces, run_of);
    for (size_t cell = 0; cell + 1 < cell_start_.size(); ++cell)
      for (size_t x = cell_start_[cell]; x < cell_start_[cell + 1]; ++x)
        for (size_t y = x + 1; y < cell_start_[cell + 1]; ++y)
          weigh(pieces[filed_[x]], pieces[filed_[y]], run_of[filed_[x]], run_of[filed_[y]],
                contour_ends);
  }
  [[nodiscard]] float operator()(size_t r, size_t s) const { return weight_[r * n_ + s]; }
  [[nodiscard]] bool any() const { return any_; }

private:
  void file(const std::vector<EdgePiece> &pieces, const std::vector<size_t> &run_of) {
    float left = 1e30f, top = 1e30f, right = -1e30f, bottom = -1e30f;
    for (size_t k = 0; k < pieces.size(); ++k) {
      if (run_of[k] == n_) continue;
      left = std::min({left, pieces[k].a.x, pieces[k].b.x});
      right = std::max({right, pieces[k].a.x, pieces[k].b.x});
      top = std::min({top, pieces[k].a.y, pieces[k].b.y});
      bottom = std::max({bottom, pieces[k].a.y, pieces[k].b.y});
    }
    if (left > right) return;
    left -= k_close, top -= k_close;
    const size_t columns = size_t((right - left) / k_close) + 2;
    cell_start_.assign(columns * (size_t((bottom - top) / k_close) + 2) + 1, 0);
    // Grown by half the reach, two pieces within it share a cell. Filed in
    // two passes, counting then placing, into one array.
    const float grow = k_close / 2;
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<u32> next(cell_start_.begin(), cell_start_.end() - 1);
      for (size_t k = 0; k < pieces.size(); ++k) {
        if (run_of[k] == n_) continue;
        const EdgePiece &p = pieces[k];
        const size_t i0 = size_t((std::min(p.a.x, p.b.x) - grow - left) / k_close);
        const size_t i1 = size_t((std::max(p.a.x, p.b.x) + grow - left) / k_close);
        const size_t j0 = size_t((std::min(p.a.y, p.b.y) - grow - top) / k_close);
        const size_t j1 = size_t((std::max(p.a.y, p.b.y) + grow - top) / k_close);
        for (size_t j = j0; j <= j1; ++j)
          for (size_t i = i0; i <= i1; ++i)
            pass == 0 ? void(++cell_start_[j * columns + i + 1])
                      : void(filed_[next[j * columns + i]++] = u32(k));
      }
      if (pass == 0) {
        for (size_t c = 1; c < cell_start_.size(); ++c) cell_start_[c] += cell_start_[c - 1];
        filed_.resize(cell_start_.back());
      }
    }
  }

  void weigh(const EdgePiece &p, const EdgePiece &q, size_t r, size_t s,
             const std::vector<size_t> &contour_ends) {
    // Only runs facing each other bound a stroke or a gap between them;
    // runs meeting at nearby corners come close only at their ends.
    if (r == s || dot(p.dir, q.dir) > k_facing || neighbours(r, s, contour_ends)) return;
    const float w = k_close - between(p, q);
    if (w <= 0) return;
    float &here = weight_[r * n_ + s];
    if (w > here) here = weight_[s * n_ + r] = w, any_ = true;
  }

  [[nodiscard]] bool neighbours(size_t r, size_t s, const std::vector<size_t> &contour_ends) const {
    if (contour_[r] != contour_[s]) return false;
    const size_t first = contour_[r] == 0 ? 0 : contour_ends[contour_[r] - 1];
    const size_t count = contour_ends[contour_[r]] - first;
    return (r - first + 1) % count == s - first || (s - first + 1) % count == r - first;
  }

  size_t n_;
  std::vector<float> weight_;
  std::vector<size_t> contour_;
  std::vector<u32> cell_start_; ///< cell c's pieces are filed_[cell_start_[c]] to [c + 1]
  std::vector<u32> filed_;
  bool any_ = false;
};

/// The index in k_corner_colours of a run's colour.
size_t colour_index(u8 channels) {
  return size_t(std::find(std::begin(k_corner_colours), std::end(k_corner_colours), channels) -
                k_corner_colours);
}

/// Colours the contour's runs [first, end) by the walk from `start` with
/// colour `initial`, given everyone's colours elsewhere; what they weigh.
float walk(const Closeness &close, size_t first, size_t end, size_t start, size_t initial,
           std::vector<size_t> &colour) {
  const size_t count = end - first;
  float total = 0;
  for (size_t k = 0; k < count; ++k) {
    const size_t r = first + (start + k) % count;
    const size_t previous = k == 0 ? 3 : colour[first + (start + k - 1) % count];
    const size_t opening = k + 1 == count ? colour[first + start] : 3;
    float best = 1e30f;
    for (size_t c = 0; c < 3; ++c) {
      if (c == previous || c == opening || (k == 0 && c != initial)) continue;
      float w = 0;
      for (size_t s = 0; s < colour.size(); ++s) {
        const bool pending = s >= first && s < end && (s - first + count - start) % count >= k;
        if (!pending && colour[s] == c) w += close(r, s);
      }
      if (w < best) best = w, colour[r] = c;
    }
    total += best;
  }
  return total;
}

/// What the contour's runs [first, end) weigh against each other and the rest.
float weight_of(const Closeness &close, size_t first, size_t end,
                const std::vector<size_t> &colour) {
  float total = 0;
  for (size_t r = first; r < end; ++r)
    for (size_t s = 0; s < colour.size(); ++s)
      if (colour[s] == colour[r] && (s < r || s >= end)) total += close(r, s);
  return total;
}

} // namespace

void separate_close_runs(std::vector<EdgePiece> &pieces, const std::vector<Run> &runs,
                         const std::vector<size_t> &contour_ends) {
  const Closeness close(pieces, runs, contour_ends);
  if (!close.any()) return;
  std::vector<size_t> colour(runs.size());
  for (size_t r = 0; r < runs.size(); ++r) colour[r] = colour_index(pieces[runs[r].first].channels);
  for (size_t c = 0, first = 0; c < contour_ends.size(); first = contour_ends[c++]) {
    const size_t end = contour_ends[c];
    std::vector<size_t> best = colour, trial = colour;
    float lightest = weight_of(close, first, end, colour);
    for (size_t start = 0; start < end - first && lightest > 0; ++start) {
      for (size_t initial = 0; initial < 3; ++initial) {
        const float w = walk(close, first, end, start, initial, trial);
        if (w < lightest) lightest = w, best = trial;
      }
    }
    colour = best;
  }
  for (size_t r = 0; r < runs.size(); ++r)
    for (size_t k = runs[r].first; k < runs[r].end; ++k)
      pieces[k].channels = k_corner_colours[colour[r]];
}

} // namespace outline
