// In-process tests of the bake's steps: rasterising with FreeType, packing,
// filling the atlas and the .fnt record and file. Fatal stops abort the
// process, so they are death tests.
#include "tools/glyphmint/atlas/atlas.h"
#include "tools/glyphmint/atlas/fnt-file.h"
#include "tools/glyphmint/bake/bake.h"
#include "tools/glyphmint/glyphs/glyph.h"

#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

// Renames onto g_blocked fail, and so does undoing a write at g_stuck:
// putting its kept file back, or removing the new one. Every other call is
// passed on; these definitions take the place of the C library's in this
// program, the baker's library included.
std::string g_blocked, g_stuck;
int rename(const char *from, const char *to) noexcept {
  if (to == g_blocked || (to == g_stuck && std::strstr(from, "/.glyphmint-kept-") != nullptr)) {
    errno = EIO;
    return -1;
  }
  return renameat(AT_FDCWD, from, AT_FDCWD, to);
}
int unlink(const char *path) noexcept {
  if (path == g_stuck) {
    errno = EIO;
    return -1;
  }
  return unlinkat(AT_FDCWD, path, 0);
}

namespace {

// One FreeType library for the whole test program, as main keeps one for a run.
FontLibrary &fonts() {
  static FontLibrary library;
  return library;
}

std::string message_of(const Err &e) {
  return std::string(e.message.data, e.message.len);
}
std::string text_of(const Path &p) {
  return std::string(p.view().data, p.view().len);
}

// Fatal stops log to stdout, death tests match what the child wrote to
// stderr: point the child's stdout there first.
void stdout_to_stderr() {
  std::fflush(stdout);
  dup2(STDERR_FILENO, STDOUT_FILENO);
}

// A glyph with a bitmap whose bytes depend on `seed`, for the copy and fill
// tests; packing reads only width and rows.
RasterGlyph synthetic(u32 width, u32 rows, u8 seed = 1) {
  RasterGlyph g;
  g.width = width;
  g.rows = rows;
  g.pixels_size = u64{width} * rows;
  if (g.pixels_size != 0) {
    g.pixels = new u8[g.pixels_size];
    for (u64 i = 0; i < g.pixels_size; ++i) g.pixels[i] = static_cast<u8>(seed + i % 200);
  }
  return g;
}

struct Cell {
  u32 width; // bitmap size; the cell is 2 larger each way
  u32 rows;
};

void fill_list(List<RasterGlyph> &list, const std::vector<Cell> &cells) {
  for (const Cell &c : cells) list.append(synthetic(c.width, c.rows));
}

std::vector<Cell> repeat(Cell c, std::size_t n) {
  return std::vector<Cell>(n, c);
}

void expect_cells_valid(const List<RasterGlyph> &glyphs, AtlasSize size) {
  std::vector<const RasterGlyph *> all;
  for (const RasterGlyph &g : glyphs) all.push_back(&g);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const RasterGlyph &a = *all[i];
    EXPECT_TRUE(a.x >= 0 && a.y >= 0 && i64{a.x} + a.width + 2 <= size.width &&
                i64{a.y} + a.rows + 2 <= size.height)
        << "cell " << i << " at (" << a.x << ", " << a.y << ") outside " << size.width << "x"
        << size.height;
    for (std::size_t j = i + 1; j < all.size(); ++j) {
      const RasterGlyph &b = *all[j];
      const bool apart = i64{a.x} + a.width + 2 <= b.x || i64{b.x} + b.width + 2 <= a.x ||
                         i64{a.y} + a.rows + 2 <= b.y || i64{b.y} + b.rows + 2 <= a.y;
      EXPECT_TRUE(apart) << "cells " << i << " and " << j << " overlap";
    }
  }
}

std::vector<std::pair<i32, i32>> positions(const List<RasterGlyph> &glyphs) {
  std::vector<std::pair<i32, i32>> out;
  for (const RasterGlyph &g : glyphs) out.emplace_back(g.x, g.y);
  return out;
}

// ---------------------------------------------------------------------------

TEST(RasterGlyph, LoadMatchesFreeType) {
  // Space and no-break space render empty; 'g' hangs below the baseline. The
  // X font is bitmap only: monochrome bakes its 13-pixel strike as it is.
  const std::string pcf = "/usr/share/fonts/X11/misc/6x13.pcf.gz";
  struct Row {
    const std::string &font;
    std::vector<int> sizes;
    RenderMode mode;
    std::vector<int> codes;
  };
  const std::vector<int> sans_codes = {32, 160, 65, 103, 198, 1071, 8230, 8364};
  const Row rows[] = {
      {support::k_sans, {12, 16, 31}, RenderMode::Coverage, sans_codes},
      {support::k_sans, {9, 16}, RenderMode::Mono, sans_codes},
      {pcf, {13}, RenderMode::Mono, {32, 65, 103, 255}},
  };
  for (const Row &row : rows) {
    const FT_Face face = get_face(fonts(), Path(row.font.c_str()));
    const bool mono = row.mode == RenderMode::Mono;
    for (const int size : row.sizes) {
      set_pixel_size(face, size);
      const support::RefFace ref(row.font, size);
      ASSERT_TRUE(ref.ok());
      for (const int code : row.codes) {
        SCOPED_TRACE(row.font + " at " + std::to_string(size) + (mono ? " mono" : "") + ", code " +
                     std::to_string(code));
        const RasterGlyph g = rasterise_glyph(face, code, {row.mode, 0});
        const support::RefGlyph want = ref.glyph(code, mono);
        EXPECT_EQ(g.code, code);
        EXPECT_EQ(g.width, want.width);
        EXPECT_EQ(g.rows, want.rows);
        EXPECT_EQ(g.bearing_x, want.left);
        EXPECT_EQ(g.bearing_y, want.top);
        EXPECT_EQ(g.advance, want.advance);
        EXPECT_EQ(g.x, 0);
        EXPECT_EQ(g.y, 0);
        EXPECT_EQ(g.reserved, mono ? -5 * 256 : 0); // the documented kind of each
        ASSERT_EQ(g.pixels_size, want.bitmap.size());
        if (want.bitmap.empty()) {
          EXPECT_EQ(g.pixels, nullptr);
        } else {
          ASSERT_NE(g.pixels, nullptr);
          EXPECT_TRUE(std::equal(want.bitmap.begin(), want.bitmap.end(), g.pixels));
        }
      }
    }
  }
}

TEST(Atlas, FieldsMadeWhileDrawingAreTheFieldsMadeAtLoad) {
  const FT_Face face = get_face(fonts(), Path(support::k_sans.c_str()));
  set_pixel_size(face, 24);
  for (const RenderMode mode : {RenderMode::Sdf, RenderMode::Msdf, RenderMode::Mtsdf}) {
    SCOPED_TRACE(int(mode));
    List<RasterGlyph> now, later;
    for (const int code : {int('A'), int(' '), int('g'), int('@'), int('%'), 0x2026}) {
      now.append(rasterise_glyph(face, code, {mode, 4}));
      later.append(rasterise_glyph(face, code, {mode, 4}, nullptr, FieldTiming::Later));
    }
    const AtlasSize size = pack_glyphs(now);
    for (auto n = now.begin(), l = later.begin(); n != now.end(); ++n, ++l)
      l->x = n->x, l->y = n->y;
    const Image whole = fill_atlas(now, size, atlas_channels(mode));
    // Three threads, one of them this, the drawing's, which also helps.
    AtlasDrawing drawing(later, size, atlas_channels(mode), 3);
    for (u64 y = 0; y < u64(size.height); y += 7) {
      (void)drawing.make_next_field();
      drawing.draw_rows(y, std::min<u64>(y + 7, u64(size.height)));
    }
    EXPECT_EQ(drawing.failure().error, 0);
    EXPECT_EQ(std::memcmp(drawing.image().pixels.get(), whole.pixels.get(), whole.byte_size()), 0);
  }
}

TEST(RasterGlyph, SizeMetricsAreTruncatedWholePixels) {
  const FT_Face face = get_face(fonts(), Path(support::k_sans.c_str()));
  for (const int size : {7, 12, 16, 17, 33, 44}) {
    SCOPED_TRACE("size " + std::to_string(size));
    set_pixel_size(face, size);
    const support::RefFace ref(support::k_sans, size);
    const support::RefMetrics want = ref.metrics();
    const SizeMetrics got = size_metrics(face);
    EXPECT_EQ(got.line_height, want.line_height);
    EXPECT_EQ(got.ascender, want.ascender);
    EXPECT_EQ(got.descender, want.descender);
  }
}

TEST(RasterGlyph, FacesAreCachedByPathText) {
  const FT_Face face = get_face(fonts(), Path(support::k_mono.c_str()));
  EXPECT_EQ(get_face(fonts(), Path(support::k_mono.c_str())), face);
  // Another spelling of the same file is another key, so another face.
  const std::string other = "/usr/share/fonts/truetype/dejavu/./DejaVuSansMono.ttf";
  EXPECT_NE(get_face(fonts(), Path(other.c_str())), face);
}

TEST(RasterGlyph, CopyDuplicatesTheBitmap) {
  RasterGlyph original = synthetic(3, 2, 7);
  original.bearing_x = -1;
  original.bearing_y = 9;
  original.advance = 4;
  original.x = 11;
  original.y = 12;
  original.code = 66;

  const RasterGlyph copy(original);
  ASSERT_NE(copy.pixels, nullptr);
  EXPECT_NE(copy.pixels, original.pixels);
  EXPECT_EQ(copy.pixels_size, 6u);
  EXPECT_TRUE(std::equal(original.pixels, original.pixels + 6, copy.pixels));
  EXPECT_EQ(std::tie(copy.width, copy.rows, copy.bearing_x, copy.bearing_y, copy.advance, copy.x,
                     copy.y, copy.reserved, copy.code),
            std::tie(original.width, original.rows, original.bearing_x, original.bearing_y,
                     original.advance, original.x, original.y, original.reserved, original.code));
  original.pixels[0] = 200;
  EXPECT_EQ(copy.pixels[0], 7) << "the copy shares the original's buffer";

  RasterGlyph assigned = synthetic(1, 1, 99);
  assigned = original;
  ASSERT_NE(assigned.pixels, original.pixels);
  EXPECT_EQ(assigned.pixels_size, 6u);
  EXPECT_TRUE(std::equal(original.pixels, original.pixels + 6, assigned.pixels));

  RasterGlyph &self = assigned;
  assigned = self;
  ASSERT_NE(assigned.pixels, nullptr);
  EXPECT_EQ(assigned.pixels[0], 200);
}

TEST(RasterGlyph, CopyOfAnEmptyBitmapHasNoBuffer) {
  RasterGlyph space;
  space.width = 0;
  space.rows = 0;
  space.advance = 5;
  space.code = 32;
  const RasterGlyph copy(space);
  EXPECT_EQ(copy.pixels, nullptr);
  EXPECT_EQ(copy.pixels_size, 0u);
  EXPECT_EQ(copy.advance, 5);
  EXPECT_EQ(copy.code, 32);

  // Assigning an empty glyph over a full one releases the old buffer.
  RasterGlyph full = synthetic(4, 4);
  full = space;
  EXPECT_EQ(full.pixels, nullptr);
  EXPECT_EQ(full.pixels_size, 0u);
  EXPECT_EQ(full.code, 32);
}

TEST(RasterGlyph, MoveTakesTheBitmap) {
  RasterGlyph from = synthetic(2, 2, 3);
  const u8 *buffer = from.pixels;
  RasterGlyph to(std::move(from));
  EXPECT_EQ(to.pixels, buffer);
  EXPECT_EQ(to.pixels_size, 4u);
  // The source gives its buffer up, or both would free it.
  EXPECT_EQ(from.pixels, nullptr);
  EXPECT_EQ(from.pixels_size, 0u);
}

TEST(GlyphDeathTest, MissingCodePointIsAFatalStop) {
  const FT_Face face = get_face(fonts(), Path(support::k_sans.c_str()));
  set_pixel_size(face, 12);
  struct Case {
    int code;
    const char *message;
  };
  // -65 must not find 'A': the code point is widened with its sign.
  const Case cases[] = {{1, "CRIT \\| No character 1 found in font"},
                        {-65, "CRIT \\| No character -65 found in font"},
                        {0x110000, "CRIT \\| No character 1114112 found in font"}};
  for (const Case &c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    EXPECT_DEATH(
        {
          stdout_to_stderr();
          (void)rasterise_glyph(face, c.code);
        },
        c.message);
  }
}

// ---------------------------------------------------------------------------

TEST(Atlas, PackSettlesOnTheFirstSizeOfTheSeriesThatHolds) {
  struct Case {
    const char *what;
    std::vector<Cell> cells;
    AtlasSize size;
    std::vector<std::pair<i32, i32>> at; // empty: not checked
  };
  const Case cases[] = {
      {"one 254x254", {{254, 254}}, {256, 256}, {{0, 0}}},
      {"two: the height grows first", repeat({254, 254}, 2), {256, 512}, {{0, 0}, {0, 256}}},
      {"four", repeat({254, 254}, 4), {512, 512}, {{0, 0}, {256, 0}, {0, 256}, {256, 256}}},
      // With three nodes stb_rect_pack rounds widths up to multiples of
      // ceil(512 / 3) = 171, so each 256-wide cell takes 342 and 512x512 holds
      // only two of them.
      {"three", repeat({254, 254}, 3), {512, 1024}, {{0, 0}, {0, 256}, {0, 512}}},
      {"an empty bitmap", {{0, 0}}, {256, 256}, {{0, 0}}},
      {"no glyph at all", {}, {256, 256}, {}},
      {"the largest cell", {{2046, 4094}}, {2048, 4096}, {{0, 0}}},
      {"1024 cells of 8x8 fill 256x256", repeat({6, 6}, 1024), {256, 256}, {}},
      {"1025 do not", repeat({6, 6}, 1025), {256, 512}, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    List<RasterGlyph> glyphs;
    fill_list(glyphs, c.cells);
    const AtlasSize size = pack_glyphs(glyphs);
    EXPECT_EQ(size.width, c.size.width);
    EXPECT_EQ(size.height, c.size.height);
    if (!c.at.empty()) {
      EXPECT_EQ(positions(glyphs), c.at);
    }
    expect_cells_valid(glyphs, size);
  }
}

TEST(Atlas, PackKeepsTheListOrder) {
  // Two 128x128 cells side by side, then two full-width 256x64 rows, fill
  // 256x256 exactly. Putting a row between the squares leaves the right half
  // under it empty, and the last row no longer fits.
  const Cell square{126, 126};
  const Cell row{254, 62};
  List<RasterGlyph> tight;
  fill_list(tight, {square, square, row, row});
  const AtlasSize tight_size = pack_glyphs(tight);
  EXPECT_EQ(tight_size.width, 256);
  EXPECT_EQ(tight_size.height, 256);
  EXPECT_EQ(positions(tight),
            (std::vector<std::pair<i32, i32>>{{0, 0}, {128, 0}, {0, 128}, {0, 192}}));

  List<RasterGlyph> loose;
  fill_list(loose, {square, row, square, row});
  const AtlasSize loose_size = pack_glyphs(loose);
  EXPECT_EQ(loose_size.width, 256);
  EXPECT_EQ(loose_size.height, 512);
  EXPECT_EQ(positions(loose),
            (std::vector<std::pair<i32, i32>>{{0, 0}, {0, 128}, {0, 192}, {0, 320}}));
}

TEST(AtlasDeathTest, NoSizeHoldsTheGlyphs) {
  struct Case {
    const char *what;
    std::vector<Cell> cells;
  };
  const Case cases[] = {
      {"one cell too wide", {{2047, 1}}},
      {"one cell too high", {{1, 4095}}},
      {"two of the largest cells", repeat({2046, 4094}, 2)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DEATH(
        {
          stdout_to_stderr();
          List<RasterGlyph> glyphs;
          fill_list(glyphs, c.cells);
          (void)pack_glyphs(glyphs);
        },
        "CRIT \\| Cannot figure out size for atlas");
  }
}

TEST(Atlas, FillCopiesEachBitmapInsideItsFrame) {
  List<RasterGlyph> glyphs;
  RasterGlyph &big = glyphs.append(synthetic(10, 12, 1));
  big.x = 0;
  big.y = 0;
  RasterGlyph &small = glyphs.append(synthetic(3, 2, 50));
  small.x = 200;
  small.y = 250; // its cell ends on the atlas's last row
  RasterGlyph &empty = glyphs.append(synthetic(0, 5));
  empty.x = 40;
  empty.y = 40;

  const AtlasSize size{256, 256};
  const Image atlas = fill_atlas(glyphs, size);
  ASSERT_EQ(atlas.channels, 1);
  u64 wrong = 0;
  std::string first;
  for (i32 y = 0; y < size.height; ++y) {
    for (i32 x = 0; x < size.width; ++x) {
      u8 want = 0;
      for (const RasterGlyph *g : {&big, &small}) {
        const i32 col = x - g->x - 1;
        const i32 row = y - g->y - 1;
        if (col >= 0 && row >= 0 && col < i32(g->width) && row < i32(g->rows))
          want = g->pixels[u64(row) * g->width + u64(col)];
      }
      const u8 got = atlas.pixels[u64(y) * u64(size.width) + u64(x)];
      // Not "(" + ...: g++ 12 then warns of an overlapping copy that is not there.
      if (got != want && wrong++ == 0)
        first = std::to_string(x) + ", " + std::to_string(y) + ": " + std::to_string(got) +
                " != " + std::to_string(want);
    }
  }
  EXPECT_EQ(wrong, 0u) << "first wrong pixel at x, y " << first;
  // The frame of the 10x12 bitmap packed at the corner, spelled out.
  EXPECT_EQ(atlas.pixels[0 * 256 + 1], 0);                 // row 0
  EXPECT_EQ(atlas.pixels[1 * 256 + 0], 0);                 // column 0
  EXPECT_EQ(atlas.pixels[1 * 256 + 11], 0);                // column 11
  EXPECT_EQ(atlas.pixels[13 * 256 + 1], 0);                // row 13
  EXPECT_EQ(atlas.pixels[1 * 256 + 1], 1);                 // the bitmap's first byte
  EXPECT_EQ(atlas.pixels[12 * 256 + 10], big.pixels[119]); // and its last
  // Drawn in bands, as the encoder asks for them, a bitmap across several.
  for (const u64 band : {u64{1}, u64{5}, u64{64}}) {
    AtlasDrawing drawing(glyphs, size, 1);
    for (u64 y = 0; y < u64(size.height); y += band)
      drawing.draw_rows(y, std::min<u64>(y + band, u64(size.height)));
    EXPECT_EQ(std::memcmp(drawing.image().pixels.get(), atlas.pixels.get(), atlas.byte_size()), 0)
        << "bands of " << band;
  }
}

// ---------------------------------------------------------------------------

TEST(CellBudgetDeathTest, StopsOnlyWhenPackingMustFail) {
  struct Case {
    const char *what;
    std::vector<Cell> cells;
    bool dies;
  };
  const Case cases[] = {
      {"a cell exactly as wide as the atlas", {{2046, 0}}, false},
      {"one pixel wider", {{2047, 0}}, true},
      {"a cell exactly as high", {{0, 4094}}, false},
      {"one pixel higher", {{0, 4095}}, true},
      {"one cell covering the whole atlas", {{2046, 4094}}, false},
      {"then any more", {{2046, 4094}, {0, 0}}, true},
      {"512 cells of 128x128 cover it exactly", repeat({126, 126}, 512), false},
      {"513 do not fit", repeat({126, 126}, 513), true},
      {"the largest bitmap FreeType can describe", {{0xFFFFFFFFu, 0xFFFFFFFFu}}, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const auto take_all = [&c] {
      stdout_to_stderr();
      CellBudget budget;
      for (const Cell &cell : c.cells) budget.take(cell.width, cell.rows);
    };
    if (c.dies) {
      EXPECT_DEATH(take_all(), "CRIT \\| Cannot figure out size for atlas");
    } else {
      EXPECT_EXIT(
          {
            take_all();
            std::exit(0);
          },
          ::testing::ExitedWithCode(0), "");
    }
  }
}

// ---------------------------------------------------------------------------

// The bytes of a little-endian value, built independently of the writer.
void put_le(std::string &out, u64 value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

TEST(Fnt, BuildSortsStablyByCode) {
  // Equal codes must keep load order and negative codes sort first; the index
  // of each loaded glyph is stored in every field so a record that lost a
  // field or moved without its key shows.
  const int loaded_codes[] = {66, 65, -5, 66, 67, 65};
  List<RasterGlyph> loaded;
  for (int i = 0; i < 6; ++i) {
    RasterGlyph &g = loaded.append(synthetic(u32(i + 1), u32(i + 2)));
    g.code = loaded_codes[i];
    g.bearing_x = -i;
    g.bearing_y = 3 * i;
    g.advance = i + 7;
    g.x = i;
    g.y = 10 * i;
  }
  const Path image("/fonts/Font-16.png");
  const Fnt fnt = Fnt::build(image, SizeMetrics{19, 15, -4}, 16, Glyphmint{}, loaded);
  EXPECT_EQ(text_of(fnt.image), "/fonts/Font-16.png");
  EXPECT_EQ(fnt.line_height, 19);
  EXPECT_EQ(fnt.size, 16);
  EXPECT_EQ(fnt.ascender, 15);
  EXPECT_EQ(fnt.descender, -4);
  ASSERT_EQ(fnt.glyphs.count, 6u);
  const int want_index[] = {2, 1, 5, 0, 3, 4};
  for (u64 k = 0; k < 6; ++k) {
    const int i = want_index[k];
    const gm_glyph &r = fnt.glyphs.values[k];
    SCOPED_TRACE("record " + std::to_string(k));
    EXPECT_EQ(fnt.glyphs.keys[k], loaded_codes[i]);
    EXPECT_EQ(r.code, loaded_codes[i]);
    EXPECT_EQ(r.reserved, 0);
    EXPECT_EQ(r.width, u32(i + 1));
    EXPECT_EQ(r.rows, u32(i + 2));
    EXPECT_EQ(r.bearing_x, -i);
    EXPECT_EQ(r.bearing_y, 3 * i);
    EXPECT_EQ(r.x, i);
    EXPECT_EQ(r.y, 10 * i);
    EXPECT_EQ(r.advance, i + 7);
  }
}

TEST(Fnt, BuildOrderAgreesWithAStableSortOfManyCodes) {
  std::vector<int> random_codes; // many ties, some negative
  u32 state = 12345;
  for (int i = 0; i < 300; ++i) {
    state = state * 1103515245u + 12345u;
    random_codes.push_back(static_cast<int>((state >> 16) % 40) - 5);
  }
  // As charset's lines load: lone code points around a long run of ranges,
  // some inside it (ties), the ones after it each far from its place.
  std::vector<int> lone_around_ranges = {70000, 40, -3, 2500};
  for (int code = 32; code < 6000; ++code) lone_around_ranges.push_back(code);
  for (int code : {90000, 1000, 31, 5999, -3, 40, 7}) lone_around_ranges.push_back(code);
  for (const std::vector<int> &codes : {random_codes, lone_around_ranges}) {
    List<RasterGlyph> loaded;
    std::vector<std::pair<int, int>> want; // (code, load index)
    for (int code : codes) {
      RasterGlyph &g = loaded.append(RasterGlyph{});
      g.code = code;
      g.x = int(want.size());
      want.emplace_back(code, g.x);
    }
    std::stable_sort(want.begin(), want.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    const Fnt fnt = Fnt::build(Path("/f/a.png"), {}, 8, Glyphmint{}, loaded);
    ASSERT_EQ(fnt.glyphs.count, want.size());
    for (u64 k = 0; k < want.size(); ++k) {
      ASSERT_EQ(std::make_pair(fnt.glyphs.values[k].code, fnt.glyphs.values[k].x), want[k])
          << "record " << k << " of " << want.size();
    }
  }
}

TEST(Fnt, WriteProducesTheDocumentedBytes) {
  const support::ScratchDir dir;
  const std::string fnt_path = dir.path() + "/Serif-Regular-16.fnt";
  // An older, longer file of the same name must be replaced, not overlaid.
  support::write_file(fnt_path, std::string(1000, 'x'));

  List<RasterGlyph> loaded;
  for (int i = 0; i < 3; ++i) {
    RasterGlyph &g = loaded.append(synthetic(u32(8 + i), u32(11 + i)));
    g.code = 65 + i;
    g.bearing_x = i - 1;
    g.bearing_y = 11 + i;
    g.x = 14 * i;
    g.y = 0;
    g.advance = 10 + i;
  }
  const BakeOutputs out{Path((dir.path() + "/Serif-Regular-16.png").c_str()),
                        Path(fnt_path.c_str())};
  SizeFiles files;
  files.fnt =
      Fnt::build(out.image, SizeMetrics{19, 15, -4}, 16, Glyphmint{}, loaded).encode(out.fnt);
  write_size_files(out, files);

  std::string want;
  put_le(want, 20, 8);
  want += "Serif-Regular-16.png";
  put_le(want, 19, 4);
  put_le(want, 16, 4);
  put_le(want, 15, 4);
  put_le(want, u64(u32(-4)), 4);
  put_le(want, 3, 8);
  for (int i = 0; i < 3; ++i) {
    put_le(want, u64(65 + i), 4);     // code
    put_le(want, 0, 4);               // reserved
    put_le(want, u64(8 + i), 4);      // width
    put_le(want, u64(11 + i), 4);     // rows
    put_le(want, u64(u32(i - 1)), 4); // bearing_x
    put_le(want, u64(11 + i), 4);     // bearing_y
    put_le(want, u64(14 * i), 4);     // x
    put_le(want, 0, 4);               // y
    put_le(want, u64(10 + i), 4);     // advance
  }
  ASSERT_EQ(want.size(), 160u);
  ASSERT_EQ(want[52], 65); // the records start right after the 52-byte header

  const std::string got = support::read_file(fnt_path);
  EXPECT_EQ(got.size(), 160u);
  EXPECT_EQ(support::first_difference(got, want), "");
}

TEST(Fnt, WriteFailuresThrow) {
  const support::ScratchDir dir;
  List<RasterGlyph> loaded;
  loaded.append(synthetic(2, 2)).code = 65;
  const Path image((dir.path() + "/a.png").c_str());
  SizeFiles files;
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {"/dev/full", "Write fail"},
      {dir.path() + "/missing/a.fnt",
       "Cannot open file " + dir.path() + "/missing/a.fnt (mode: wb)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    try {
      const BakeOutputs out{image, Path(c.path.c_str())};
      files.fnt = Fnt::build(image, {}, 12, Glyphmint{}, loaded).encode(out.fnt);
      write_size_files(out, files);
      ADD_FAILURE() << "no Err thrown";
    } catch (const Err &e) {
      EXPECT_EQ(message_of(e), c.message);
    }
  }
}

TEST(Fnt, AnAtlasThatCannotBeTakenBackIsNamed) {
  // When the .fnt cannot take its name, the new atlas is taken back; when
  // that failed too, the user saw only "Write fail", unaware that the atlas
  // was the new one beside the old .fnt.
  for (const bool had_atlas : {true, false}) {
    SCOPED_TRACE(had_atlas ? "an earlier atlas" : "no earlier atlas");
    const support::ScratchDir dir;
    const BakeOutputs out{Path((dir.path() + "/F-9.png").c_str()),
                          Path((dir.path() + "/F-9.fnt").c_str())};
    g_stuck = text_of(out.image);
    g_blocked = text_of(out.fnt);
    if (had_atlas) support::write_file(g_stuck, "old atlas");
    support::write_file(g_blocked, "old fnt");
    std::string message;
    try {
      write_size_files(out, SizeFiles{});
    } catch (const Err &e) {
      message = message_of(e);
    }
    const std::string reason = std::strerror(EIO);
    const std::string named =
        "Write fail; " + g_stuck +
        (had_atlas ? " could not be put back (" + reason + "): its previous content is in "
                   : " is new and could not be removed (" + reason + ")");
    ASSERT_EQ(message.substr(0, named.size()), named);
    if (had_atlas) {
      EXPECT_EQ(support::read_file(message.substr(named.size())), "old atlas");
    }
    EXPECT_EQ(support::read_file(g_stuck), "") << "the new atlas is the one in place";
    EXPECT_EQ(support::read_file(g_blocked), "old fnt");
    g_stuck.clear();
    g_blocked.clear();
  }
}

// ---------------------------------------------------------------------------

TEST(Bake, OutputsAreNamedAfterTheFontUpToItsFirstDot) {
  struct Case {
    const char *font;
    int size;
    const char *image;
    const char *fnt;
  };
  const Case cases[] = {
      {"fonts/Serif-Regular.ttf", 16, "fonts/Serif-Regular-16.png", "fonts/Serif-Regular-16.fnt"},
      {"/a/b.c/My.Font.ttf", 12, "/a/b.c/My-12.png", "/a/b.c/My-12.fnt"},
      {"/a/Font", 8, "/a/Font-8.png", "/a/Font-8.fnt"},
      {"/a/Font.otf", -3, "/a/Font--3.png", "/a/Font--3.fnt"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.font) + " at " + std::to_string(c.size));
    const BakeOutputs out = bake_outputs(Path(c.font), c.size);
    EXPECT_EQ(text_of(out.image), c.image);
    EXPECT_EQ(text_of(out.fnt), c.fnt);
  }
}

TEST(Bake, EmptySizesListOpensNoFace) {
  // The font does not exist: opening it would be a fatal stop.
  const support::ScratchDir dir;
  const std::string settings = dir.path() + "/Font.glyphmint.ini";
  support::write_file(settings, "path = Missing.ttf\nsizes = []\nranges = [65-66]\nchars = []\n");
  bake_settings_file(fonts(), Path(settings.c_str()));
  EXPECT_EQ(support::tree(dir.path()), std::set<std::string>{"Font.glyphmint.ini"});
}

} // namespace
