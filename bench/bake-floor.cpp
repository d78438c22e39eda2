// The floor of a bake: the irreducible work of baking one font, written
// straight against FreeType, stb and stdio with no layer of our own, so the
// whole-bake benchmark can say how much the tool costs on top of it.
//
// It makes exactly the calls the tool makes, in the same order and with the
// same arguments (FreeType load flags, one stbrp_pack_rects per glyph in list
// order into a context with one node per glyph, the same series of atlas
// sizes, one stbi_write_png per size), and writes the same bytes: the
// whole-bake benchmark compares its outputs with the tool's before timing.
//
//   bake_floor FONT OUTDIR SIZES RANGES
//   bake_floor DejaVuSans.ttf out 12,16 32-126,160-255
//   bake_floor DejaVuSans.ttf out 12 32-126,160-255,8364,8482   (ranges, then lone ones)
//
// writes OUTDIR/<font name up to its first dot>-<size>.png and .fnt.
#include <ft2build.h>
#include FT_FREETYPE_H

#include "glyphmint/fnt.h"

#include <stb_image_write.h>
#include <stb_rect_pack.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int fail(const char *what, long detail) {
  std::fprintf(stderr, "bake_floor: %s (%ld)\n", what, detail);
  return 1;
}

// "12,16,24" or "32-126,160-255" into pairs; a single number n is n-n.
int parse_list(const char *text, int (*out)[2], int max) {
  int n = 0;
  while (*text != '\0' && n < max) {
    char *end = nullptr;
    out[n][0] = static_cast<int>(std::strtol(text, &end, 10));
    out[n][1] = out[n][0];
    if (*end == '-') out[n][1] = static_cast<int>(std::strtol(end + 1, &end, 10));
    ++n;
    text = *end == ',' ? end + 1 : end;
  }
  return n;
}

int32_t pixels_from_26_6(FT_Pos value) {
  return static_cast<int32_t>(static_cast<float>(value) * 0.015625f);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: bake_floor FONT OUTDIR SIZES RANGES\n");
    return 2;
  }
  const char *font_path = argv[1];
  const char *out_dir = argv[2];
  // Room for a whole font's charset lines: ranges, then thousands of lone code points.
  static int sizes[64][2], ranges[65536][2];
  const int size_count = parse_list(argv[3], sizes, 64);
  const int range_count = parse_list(argv[4], ranges, 65536);

  // The outputs are named after the font file's name up to its first dot.
  const char *name = std::strrchr(font_path, '/');
  name = name ? name + 1 : font_path;
  const char *dot = std::strchr(name, '.');
  const int base_len = dot ? static_cast<int>(dot - name) : static_cast<int>(std::strlen(name));

  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0) return fail("FT_Init_FreeType", 0);
  if (FT_Error e = FT_New_Face(library, font_path, 0, &face)) return fail("FT_New_Face", e);

  size_t glyph_count = 0;
  for (int r = 0; r < range_count; ++r)
    if (ranges[r][1] >= ranges[r][0])
      glyph_count += static_cast<size_t>(ranges[r][1] - ranges[r][0] + 1);

  // Bitmaps must outlive the slot until the atlas size is known: one arena.
  gm_glyph *glyphs = static_cast<gm_glyph *>(std::malloc(sizeof(gm_glyph) * glyph_count + 1));
  size_t *offsets = static_cast<size_t *>(std::malloc(sizeof(size_t) * glyph_count + 1));
  stbrp_node *nodes = static_cast<stbrp_node *>(std::malloc(sizeof(stbrp_node) * glyph_count + 1));
  size_t arena_cap = 1 << 20, arena_len = 0;
  unsigned char *arena = static_cast<unsigned char *>(std::malloc(arena_cap));
  if (!glyphs || !offsets || !nodes || !arena) return fail("out of memory", 0);

  for (int s = 0; s < size_count; ++s) {
    const int size = sizes[s][0];
    if (FT_Error e = FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)))
      return fail("FT_Set_Pixel_Sizes", e);

    int n = 0;
    arena_len = 0;
    for (int r = 0; r < range_count; ++r) {
      for (long code = ranges[r][0]; code <= ranges[r][1]; ++code) {
        const FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(code));
        if (index == 0) return fail("no glyph for code point", code);
        if (FT_Error e = FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_MONOCHROME))
          return fail("FT_Load_Glyph", e);
        if (FT_Error e = FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL))
          return fail("FT_Render_Glyph", e);
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap &bm = slot->bitmap;
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY) return fail("pixel mode", bm.pixel_mode);

        const size_t bytes = size_t{bm.width} * bm.rows;
        if (arena_len + bytes > arena_cap) {
          while (arena_len + bytes > arena_cap) arena_cap *= 2;
          arena = static_cast<unsigned char *>(std::realloc(arena, arena_cap));
          if (!arena) return fail("out of memory", 0);
        }
        for (unsigned row = 0; row < bm.rows; ++row)
          std::memcpy(arena + arena_len + size_t{row} * bm.width,
                      bm.buffer + static_cast<long>(row) * bm.pitch, bm.width);
        offsets[n] = arena_len;
        arena_len += bytes;
        gm_glyph &g = glyphs[n];
        g = gm_glyph{};
        g.code = static_cast<int32_t>(code);
        g.width = bm.width;
        g.rows = bm.rows;
        g.bearing_x = slot->bitmap_left;
        g.bearing_y = slot->bitmap_top;
        g.advance = static_cast<int32_t>(static_cast<uint32_t>(slot->advance.x)) >> 6;
        ++n;
      }
    }

    // 256x256, 256x512, 512x512, ... up to 2048x4096, the height first.
    int w = 256, h = 256, grow_height = 1;
    for (;;) {
      stbrp_context context;
      stbrp_init_target(&context, w, h, nodes, n);
      int packed = 1;
      for (int i = 0; i < n && packed; ++i) {
        stbrp_rect rect{};
        rect.w = static_cast<stbrp_coord>(glyphs[i].width + 2);
        rect.h = static_cast<stbrp_coord>(glyphs[i].rows + 2);
        stbrp_pack_rects(&context, &rect, 1);
        packed = rect.was_packed;
        glyphs[i].x = rect.x;
        glyphs[i].y = rect.y;
      }
      if (packed) break;
      if (grow_height)
        h *= 2;
      else
        w *= 2;
      grow_height = !grow_height;
      if (w == 4096 && h == 4096) return fail("no atlas size fits, glyphs:", n);
    }

    unsigned char *atlas = static_cast<unsigned char *>(std::calloc(size_t(w) * size_t(h), 1));
    if (!atlas) return fail("out of memory", 0);
    for (int i = 0; i < n; ++i) {
      const gm_glyph &g = glyphs[i];
      unsigned char *corner = atlas + size_t(g.y + 1) * size_t(w) + size_t(g.x) + 1;
      for (uint32_t row = 0; row < g.rows; ++row)
        std::memcpy(corner + size_t(row) * size_t(w), arena + offsets[i] + size_t(row) * g.width,
                    g.width);
    }

    char png_path[4096], fnt_path[4096];
    std::snprintf(png_path, sizeof png_path, "%s/%.*s-%d.png", out_dir, base_len, name, size);
    std::snprintf(fnt_path, sizeof fnt_path, "%s/%.*s-%d.fnt", out_dir, base_len, name, size);
    if (!stbi_write_png(png_path, w, h, 1, atlas, w)) return fail("stbi_write_png", size);
    std::free(atlas);

    // Records go out in code point order, equal codes in load order. Lone
    // code points after the ranges would make an insertion sort quadratic.
    std::stable_sort(glyphs, glyphs + n,
                     [](const gm_glyph &a, const gm_glyph &b) { return a.code < b.code; });

    const FT_Size_Metrics &m = face->size->metrics;
    const char *image_name = std::strrchr(png_path, '/') + 1;
    gm_font header{};
    header.image_name = image_name;
    header.image_name_length = std::strlen(image_name);
    header.line_height = pixels_from_26_6(m.height);
    header.size = size;
    header.ascender = pixels_from_26_6(m.ascender);
    header.descender = pixels_from_26_6(m.descender);
    header.glyph_count = static_cast<size_t>(n);
    const size_t header_len = GM_FNT_HEADER_SIZE + header.image_name_length;
    const size_t file_len = header_len + GM_FNT_RECORD_SIZE * header.glyph_count;
    unsigned char *bytes = static_cast<unsigned char *>(std::malloc(file_len));
    if (!bytes) return fail("out of memory", 0);
    gm_font_encode_header(&header, bytes);
    for (size_t i = 0; i < header.glyph_count; ++i)
      gm_glyph_encode(&glyphs[i], bytes + header_len + i * GM_FNT_RECORD_SIZE);
    FILE *f = std::fopen(fnt_path, "wb");
    if (!f) return fail("cannot open .fnt for writing", size);
    std::fwrite(bytes, 1, file_len, f);
    std::free(bytes);
    if (std::ferror(f) || std::fclose(f) != 0) return fail("cannot write .fnt", size);
  }

  std::free(arena);
  std::free(nodes);
  std::free(offsets);
  std::free(glyphs);
  FT_Done_FreeType(library);
  return 0;
}
