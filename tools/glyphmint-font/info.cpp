// glyphmint-font info: checks a baked font and its atlas, then describes them
// in "key: value" lines, always the same keys in the same order.
#include "tools/glyphmint-font/commands.h"

#include "core/fmt.h"
#include "core/prog-opts.h"
#include "tools/glyphmint-font/loaded-font.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char k_help[] =
    "Usage: glyphmint-font info FONT.fnt\n"
    "\n"
    "Checks a baked font and its atlas (the PNG that the file names, relative to\n"
    "the file's directory, which must be 8-bit greyscale and hold every glyph\n"
    "cell) and prints one line per key, in this order:\n"
    "\n"
    "  image: the atlas's name as the file gives it\n"
    "  size: the baked pixel size\n"
    "  line height, ascender, descender: in pixels\n"
    "  glyphs: the glyph records (a code point baked twice counts twice)\n"
    "  atlas: the atlas's width and height in pixels, WxH\n"
    "  fill: the share of the atlas that the glyph cells (their one-pixel\n"
    "    frames included) cover, in percent with one decimal, halves rounded up\n"
    "  code points: inclusive ranges in ascending order, each code point once,\n"
    "    such as 32-126, 160-255, 8364; none for a font without glyphs\n"
    "\n"
    "Any fault: exit status 1 and one line on standard error naming the file.\n";

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

// Pixels of the atlas inside at least one cell, swept from the top row down.
// The cells were checked to lie inside the atlas.
u64 covered_pixels(const gm_font &font) {
  struct Edge {
    i64 y;
    i64 begin;
    i64 end;
    i32 delta;
  };
  std::vector<Edge> edges;
  std::vector<i64> columns;
  edges.reserve(2 * font.glyph_count);
  columns.reserve(2 * font.glyph_count);
  for (size_t i = 0; i < font.glyph_count; ++i) {
    const gm_glyph g = gm_font_glyph(&font, i);
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

// The records are sorted, so equal codes are neighbours and a run of
// consecutive codes is one range.
void append_code_points(StrBuilder &out, const gm_font &font) {
  if (font.glyph_count == 0) {
    out.append("none");
    return;
  }
  i64 first = gm_font_glyph(&font, 0).code;
  i64 last = first;
  const auto append_range = [&] {
    fmt(out, first);
    if (last != first) fmt(out, '-', last);
  };
  for (size_t i = 1; i < font.glyph_count; ++i) {
    const i64 code = gm_font_glyph(&font, i).code;
    if (code <= last + 1) {
      last = code;
      continue;
    }
    append_range();
    out.append(", ");
    first = last = code;
  }
  append_range();
}

} // namespace

int run_info(i32 argc, const char *const *argv) {
  ProgOpts::set_synopsis(k_help);
  StrView words[1];
  static const char *const names[] = {"FONT.fnt"};
  (void)ProgOpts::parse(argc, argv, words, names);

  const LoadedFont loaded = LoadedFont::load(Path(words[0]));
  const gm_font &font = loaded.font;
  const u64 atlas_pixels = u64(loaded.atlas.width) * u64(loaded.atlas.height);
  const u64 tenths = (covered_pixels(font) * 2000 + atlas_pixels) / (2 * atlas_pixels);

  StrBuilder out;
  // The name is the file's to choose; control bytes would break the lines.
  fmt(out, "image: ", EscapedControl{loaded.image_name()}, "\nsize: ", font.size,
      "\nline height: ", font.line_height, "\nascender: ", font.ascender,
      "\ndescender: ", font.descender, "\nglyphs: ", u64(font.glyph_count),
      "\natlas: ", loaded.atlas.width, 'x', loaded.atlas.height, "\nfill: ", tenths / 10, '.',
      tenths % 10, "%\ncode points: ");
  append_code_points(out, font);
  out.append('\n');
  if (std::fwrite(out.data, 1, out.len, stdout) != out.len || std::fflush(stdout) != 0)
    throw Err("standard output: cannot be written");
  return 0;
}
