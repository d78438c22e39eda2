#include "tools/glyphmint-font/baked/font-summary.h"

#include "core/fmt.h"

#include <algorithm>
#include <vector>

namespace {

// How many columns the cells crossing the current row cover: a segment tree
// over the bands between the cells' left and right edges, so overlapping
// cells (a bake never makes them, a hand-made file may) count once, at log N
// per cell edge, in memory that grows with the cells, not the atlas.
class ColumnCover {
public:
  /// `edges`: every cell's left and right column, sorted, each once.
  explicit ColumnCover(std::vector<i64> edges)
      : edges_(static_cast<std::vector<i64> &&>(edges)), count_(4 * edges_.size()),
        covered_(4 * edges_.size()) {}

  void add(i64 begin, i64 end, i32 delta) {
    if (edges_.size() < 2) return;
    update(1, 0, edges_.size() - 1, band(begin), band(end), delta);
  }
  [[nodiscard]] i64 covered() const { return covered_.empty() ? 0 : covered_[1]; }

private:
  [[nodiscard]] u64 band(i64 column) const {
    return u64(std::lower_bound(edges_.begin(), edges_.end(), column) - edges_.begin());
  }

  // The node spans bands low .. high - 1, columns edges_[low] .. edges_[high] - 1.
  void update(u64 node, u64 low, u64 high, u64 begin, u64 end, i32 delta) {
    if (end <= low || high <= begin) return;
    if (begin <= low && high <= end) {
      count_[node] += delta;
    } else {
      const u64 mid = low + (high - low) / 2;
      update(2 * node, low, mid, begin, end, delta);
      update(2 * node + 1, mid, high, begin, end, delta);
    }
    if (count_[node] > 0)
      covered_[node] = edges_[high] - edges_[low];
    else
      covered_[node] = high - low == 1 ? 0 : covered_[2 * node] + covered_[2 * node + 1];
  }

  std::vector<i64> edges_;
  std::vector<i32> count_; // cells that cover the node's whole span
  std::vector<i64> covered_;
};

} // namespace

// Swept from the top row down.
u64 covered_pixels(const gm_font &font) {
  struct Edge {
    i64 y;
    i64 begin;
    i64 end;
    i32 delta;
  };
  std::vector<Edge> edges;
  std::vector<i64> columns;
  edges.reserve(2 * font.record_count);
  columns.reserve(2 * font.record_count);
  for (size_t i = 0; i < font.record_count; ++i) {
    const gm_glyph g = gm_font_record(&font, i);
    const i64 right = i64(g.x) + i64(g.width) + 2;
    edges.push_back({g.y, g.x, right, 1});
    edges.push_back({i64(g.y) + i64(g.rows) + 2, g.x, right, -1});
    columns.push_back(g.x);
    columns.push_back(right);
  }
  std::sort(edges.begin(), edges.end(), [](const Edge &a, const Edge &b) { return a.y < b.y; });
  std::sort(columns.begin(), columns.end());
  columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
  ColumnCover cover(static_cast<std::vector<i64> &&>(columns));
  i64 area = 0;
  i64 last_y = 0;
  for (const Edge &e : edges) {
    area += cover.covered() * (e.y - last_y);
    last_y = e.y;
    cover.add(e.begin, e.end, e.delta);
  }
  return u64(area);
}

u64 fill_tenths_of_percent(const gm_font &font, u64 atlas_pixels) {
  return (covered_pixels(font) * 2000 + atlas_pixels) / (2 * atlas_pixels);
}

// The records are sorted, so equal codes are neighbours and a run of
// consecutive codes is one range.
std::string code_point_ranges(const gm_font &font) {
  if (font.glyph_count == 0) return "none";
  std::string out;
  i64 first = gm_font_glyph(&font, 0).code;
  i64 last = first;
  const auto append_range = [&] {
    out += std::to_string(first);
    if (last == first) return;
    out += '-';
    out += std::to_string(last);
  };
  for (size_t i = 1; i < font.glyph_count; ++i) {
    const i64 code = gm_font_glyph(&font, i).code;
    if (code <= last + 1) {
      last = code;
      continue;
    }
    append_range();
    out += ", ";
    first = last = code;
  }
  append_range();
  return out;
}

Str font_summary_text(const LoadedFont &loaded) {
  const gm_font &font = loaded.font;
  const u64 tenths =
      fill_tenths_of_percent(font, u64(loaded.atlas.width) * u64(loaded.atlas.height));
  const std::string ranges = code_point_ranges(font);
  StrBuilder out;
  fmt(out, "image: ", EscapedControl{loaded.image_name()}, "\nsize: ", font.size,
      "\nline height: ", font.line_height, "\nascender: ", font.ascender,
      "\ndescender: ", font.descender, "\nglyphs: ", u64(font.glyph_count),
      "\natlas: ", loaded.atlas.width, 'x', loaded.atlas.height, "\nfill: ", tenths / 10, '.',
      tenths % 10, "%\ncode points: ", StrView(ranges.data(), ranges.size()), "\nkind: ");
  switch (font.kind) {
  case GM_KIND_COVERAGE:
    out.append("coverage\n");
    break;
  case GM_KIND_SDF:
    fmt(out, "distance field, spread ", font.spread, '\n');
    break;
  case GM_KIND_MSDF:
    fmt(out, "multi-channel distance field, spread ", font.spread, '\n');
    break;
  case GM_KIND_MTSDF:
    fmt(out, "multi-channel and true distance field, spread ", font.spread, '\n');
    break;
  case GM_KIND_COLOR:
    out.append("colour\n");
    break;
  case GM_KIND_MONO:
    out.append("monochrome\n");
    break;
  }
  if (font.shaped)
    fmt(out, "shaped: ", u64(loaded.other_glyph_count()), " glyphs beyond the code points\n");
  return out.to_string();
}
