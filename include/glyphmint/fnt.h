/* glyphmint/fnt.h: reads the .fnt files that glyphmint bakes, safely.
 *
 * One header, C99 and C++, no dependencies beyond the C library's integer
 * types. Everything is `static inline`: include it anywhere, nothing to build
 * or link. Every public name starts with gm_ (macros with GM_).
 *
 * A .fnt describes one pixel size of a font baked into an 8-bit atlas image:
 * the image's name, the line metrics, and one 36-byte record per glyph, sorted
 * by code point. Every record's reserved field holds the same value, which
 * says what the atlas holds (gm_kind):
 *
 *   0          coverage, greyscale: 0 empty to 255 full
 *   S > 0      a signed distance field with spread S, greyscale: 128 + 128 d / S,
 *              clamped to 0..255, for a pixel centre d pixels inside the
 *              outline (negative outside)
 *   -(K * 256 + S), K = GM_KIND_MSDF, GM_KIND_MTSDF, GM_KIND_COLOR or
 *              GM_KIND_MONO: a multi-channel field with spread S (RGB: each
 *              channel the same formula over its own pseudo-distance, their
 *              median the outline), the same with the true distance in alpha
 *              (RGBA), colour glyphs (RGBA, straight alpha; S = 0), or
 *              monochrome glyphs (greyscale, 0 or 255 only; S = 0)
 *
 * The newer kinds are negative so that readers before 1.2, which take the
 * field for a spread that must not be negative, refuse them instead of
 * drawing colour as coverage; a 1.2 reader refuses mono as an unknown kind.
 *
 * A file without records has no record to say its kind, so one of any kind
 * but coverage ends in a kind word (GM_FNT_KIND_OFFSET): the i32 that each of
 * its records would hold. An empty coverage file has none, as before 1.3, and
 * a file with records never has one; readers before 1.3 refuse the word as
 * trailing bytes rather than read the atlas as coverage. All integers are
 * little-endian:
 *
 *   u64 L | L bytes: image name (relative to the .fnt) |
 *   i32 line height | i32 size | i32 ascender | i32 descender |
 *   u64 N | N records of: i32 code, i32 reserved, u32 width, u32 rows,
 *           i32 bearing x, i32 bearing y, i32 cell x, i32 cell y, i32 advance |
 *   when N = 0 and the kind is not coverage: i32 kind word
 *
 * A shaped bake also holds the glyphs that shaping its code points can
 * produce (ligatures, contextual forms) and finds every glyph by its index in
 * the font that supplied it (font number 0 the main font, 1.. its fallbacks in
 * the settings' order). Its N code-point records stay as above, and a shaped
 * section follows them instead of a kind word; readers before 1.4 refuse it as
 * trailing bytes:
 *
 *   u32 tag GM_FNT_SHAPED_TAG | i32 kind word (always, any kind) | u64 M |
 *   M records of the same layout, the glyphs no code point reaches, code -1 |
 *   N + M glyph ids, one per record (code-point records first, then the M):
 *           u32 font number, u32 glyph index |
 *   N + M u32 record numbers, ordered by (font number, glyph index, record)
 *
 * Two records may share a glyph (two code points mapped to one glyph, or a
 * code point baked twice); the lookup by index gives the first of them.
 *
 * Guarantees: the parser and the layout allocate nothing, do no I/O and never
 * read outside the bytes they are given, whatever those bytes hold; a file is
 * checked whole by gm_font_parse before anything else trusts it. Positions are
 * computed in 64 bits and stop at their limits rather than overflow (only a text
 * of gigabytes with hostile metrics gets there). The caller keeps the bytes
 * alive while the gm_font that points into them is used.
 *
 * Usage:
 *
 *   gm_font font;
 *   size_t where;
 *   gm_error e = gm_font_parse(&font, bytes, length, &where);
 *   if (e == GM_OK) e = gm_font_check_atlas(&font, atlas_w, atlas_h, &where);
 *   if (e != GM_OK) { printf("%s at byte %zu\n", gm_error_text(e), where); return 1; }
 *   gm_layout layout;
 *   gm_placed_glyph g;
 *   gm_step step;
 *   gm_layout_begin(&layout, &font, "Hello", 5);
 *   while ((step = gm_layout_next(&layout, &g)) != GM_STEP_END && step != GM_STEP_ERROR)
 *     if (step == GM_STEP_GLYPH)   // copy the atlas rectangle to the destination
 *       blit(atlas, g.src_x, g.src_y, g.width, g.height, x0 + g.dst_x, baseline0 + g.dst_y);
 *
 * Define GM_FNT_LOAD_FILE before including it for gm_load_file, which reads a
 * whole file into a malloc'ed buffer (the one part that allocates and does I/O).
 *
 * Writing one: gm_font_encode_header, gm_glyph_encode,
 * gm_font_encode_kind_word and gm_font_encode_shaped give the bytes of the
 * header, of each record, of an empty file's kind word and of a shaped
 * section, and the GM_FNT_* and GM_GLYPH_* constants say where every field
 * lies; no writer needs a layout of its own.
 *
 * Version 1.4.0 (GM_FNT_VERSION). 1.1.0: 1.0.0 and the layout constants, the two
 * encoders, the distance field's spread (gm_font's spread, gm_glyph's
 * reserved) and its check, GM_ERR_BAD_SPREAD. 1.2.0: the atlas kind
 * (gm_kind, gm_font's kind and channels, gm_kind_reserved for writers) and
 * GM_ERR_UNKNOWN_KIND. 1.3.0: monochrome atlases (GM_KIND_MONO), and the
 * kind word of a file without records (GM_FNT_KIND_OFFSET,
 * gm_font_kind_word_size, gm_font_encode_kind_word). 1.4.0: shaped bakes
 * (gm_font's shaped, record_count; gm_glyph's glyph_index and font_number;
 * gm_font_record, gm_font_find_glyph, gm_font_shaped_size,
 * gm_font_encode_shaped; GM_ERR_SHAPED_TRUNCATED, GM_ERR_OTHER_HAS_CODE,
 * GM_ERR_BAD_GLYPH_ORDER).
 */
#ifndef GM_FNT_H
#define GM_FNT_H

#include <stddef.h>
#include <stdint.h>
/* Outside the extern "C" block below: a C++ library's headers may declare
 * overloads and templates, which C linkage forbids. */
#ifdef GM_FNT_LOAD_FILE
#include <stdio.h>
#include <stdlib.h>
#endif

#define GM_FNT_VERSION "1.4.0"

/* The layout, the one definition that the reader below, the baker and every
 * other writer use. Offsets are from the start of the file; those marked
 * "+ L" follow the image name and have its length added. */
#define GM_FNT_HEADER_SIZE 32u       /* the fixed part of the header, without the name */
#define GM_FNT_NAME_LENGTH_OFFSET 0u /* u64 L */
#define GM_FNT_NAME_OFFSET 8u        /* L bytes, no terminator */
#define GM_FNT_LINE_HEIGHT_OFFSET 8u /* + L: i32 */
#define GM_FNT_SIZE_OFFSET 12u       /* + L: i32 */
#define GM_FNT_ASCENDER_OFFSET 16u   /* + L: i32 */
#define GM_FNT_DESCENDER_OFFSET 20u  /* + L: i32 */
#define GM_FNT_COUNT_OFFSET 24u      /* + L: u64 N; the records follow at 32 + L */
#define GM_FNT_RECORD_SIZE 36u
/* + L: i32, the kind word, in a file without records whose kind is not
 * coverage and nowhere else: gm_kind_reserved of its kind and spread. */
#define GM_FNT_KIND_OFFSET 32u
#define GM_FNT_KIND_SIZE 4u
/* Offsets within a record. */
#define GM_GLYPH_CODE_OFFSET 0u       /* i32 */
#define GM_GLYPH_RESERVED_OFFSET 4u   /* i32 */
#define GM_GLYPH_WIDTH_OFFSET 8u      /* u32 */
#define GM_GLYPH_ROWS_OFFSET 12u      /* u32 */
#define GM_GLYPH_BEARING_X_OFFSET 16u /* i32 */
#define GM_GLYPH_BEARING_Y_OFFSET 20u /* i32 */
#define GM_GLYPH_X_OFFSET 24u         /* i32 */
#define GM_GLYPH_Y_OFFSET 28u         /* i32 */
#define GM_GLYPH_ADVANCE_OFFSET 32u   /* i32 */
/* A shaped bake's section, at 32 + L + 36 N; offsets from its start. */
#define GM_FNT_SHAPED_TAG 0x68734d47u /* the bytes "GMsh" */
#define GM_FNT_SHAPED_TAG_OFFSET 0u   /* u32 */
#define GM_FNT_SHAPED_KIND_OFFSET 4u  /* i32, gm_kind_reserved of the kind and spread */
#define GM_FNT_SHAPED_COUNT_OFFSET 8u /* u64 M; the M records follow */
#define GM_FNT_SHAPED_HEADER_SIZE 16u
#define GM_FNT_NO_CODE (-1)         /* the code of a record no code point reaches */
#define GM_FNT_GLYPH_ID_SIZE 8u     /* after the M records: one per record */
#define GM_GLYPH_ID_FONT_OFFSET 0u  /* u32 */
#define GM_GLYPH_ID_INDEX_OFFSET 4u /* u32 */
#define GM_FNT_ORDER_ENTRY_SIZE 4u  /* after the ids: u32 record numbers */

#ifdef __cplusplus
extern "C" {
#endif

/* Why a file or a text was rejected; gm_error_text gives a message for each. */
typedef enum gm_error {
  GM_OK = 0,
  GM_ERR_SHORT_HEADER,       /* fewer bytes than the fixed 32-byte header */
  GM_ERR_NAME_PAST_END,      /* the image name's length runs past the end */
  GM_ERR_COUNT_OVERFLOW,     /* 32 + L + 36 N does not fit in 64 bits */
  GM_ERR_RECORDS_TRUNCATED,  /* the file ends before the N-th record does */
  GM_ERR_TRAILING_BYTES,     /* bytes after the last record (or the kind word) */
  GM_ERR_UNSORTED,           /* a record's code point is below its predecessor's */
  GM_ERR_CELL_OUTSIDE_ATLAS, /* a cell, one-pixel frame included, leaves the atlas */
  GM_ERR_INVALID_UTF8,       /* a text is not well-formed UTF-8 */
  GM_ERR_BAD_SPREAD,         /* a record's reserved field names another kind than the file's */
  GM_ERR_UNKNOWN_KIND,       /* the reserved field or kind word names no kind this reader knows */
  GM_ERR_SHAPED_TRUNCATED,   /* the file ends inside the shaped section */
  GM_ERR_OTHER_HAS_CODE,     /* a record no code point reaches has a code other than -1 */
  GM_ERR_BAD_GLYPH_ORDER     /* the glyph order names no record or is out of order */
} gm_error;

/* What the atlas holds, from the records' reserved field or the kind word. */
typedef enum gm_kind {
  GM_KIND_COVERAGE = 0, /* greyscale coverage */
  GM_KIND_SDF = 1,      /* greyscale signed distance */
  GM_KIND_MSDF = 2,     /* RGB: three pseudo-distances, the outline at their median */
  GM_KIND_MTSDF = 3,    /* RGBA: MSDF, and the true signed distance in alpha */
  GM_KIND_COLOR = 4,    /* RGBA colour glyphs, straight alpha */
  GM_KIND_MONO = 5      /* greyscale monochrome glyphs: 0 or 255 */
} gm_kind;

/* A parsed font: header fields copied out, records left in the caller's bytes. */
typedef struct gm_font {
  const char *image_name; /* image_name_length bytes, not NUL-terminated */
  size_t image_name_length;
  int32_t line_height;
  int32_t size;
  int32_t ascender;
  int32_t descender;
  size_t glyph_count;
  const unsigned char *records; /* glyph_count records of GM_FNT_RECORD_SIZE bytes */
  size_t records_offset;        /* where the records start in the file */
  int32_t spread;               /* a distance field's spread in pixels; 0 for other kinds */
  gm_kind kind;
  int32_t channels; /* of the atlas's pixels: 1, 3 or 4 (gm_kind_channels) */
  /* 1.4: 1 for a shaped bake, else 0. record_count counts every record: the
   * glyph_count code-point records, then (shaped only) the glyphs no code
   * point reaches; gm_font_record reads them all. */
  int shaped;
  size_t record_count;
  const unsigned char *other_records; /* record_count - glyph_count records */
  size_t other_records_offset;
  const unsigned char *glyph_ids;   /* shaped: record_count ids; else NULL */
  const unsigned char *glyph_order; /* shaped: record_count record numbers; else NULL */
} gm_font;

/* One glyph record. The bitmap lies at columns x + 1 .. x + width and rows
 * y + 1 .. y + rows of the atlas, inside a one-pixel frame of zeros. */
typedef struct gm_glyph {
  int32_t code;
  uint32_t width;
  uint32_t rows;
  int32_t bearing_x; /* pen to the bitmap's left column */
  int32_t bearing_y; /* baseline up to the bitmap's top row */
  int32_t x;         /* the cell's left column */
  int32_t y;         /* the cell's top row */
  int32_t advance;
  int32_t reserved; /* the font's kind and spread (gm_kind_reserved): the same in every record */
  /* 1.4, shaped bakes: the glyph's index in its font, and which font (0 the
   * main one, 1.. the fallbacks in the settings' order). Both 0 in a bake
   * that is not shaped, which records no indices: check gm_font's shaped. */
  uint32_t glyph_index;
  uint32_t font_number;
} gm_glyph;

/* What one layout step produced. */
typedef enum gm_step {
  GM_STEP_END = 0,    /* the text is used up; pen_x is the last line's advance */
  GM_STEP_GLYPH,      /* a glyph to draw */
  GM_STEP_MISSING,    /* a code point the font lacks; the pen did not move */
  GM_STEP_LINE_BREAK, /* a line feed; pen_x is the ended line's advance */
  GM_STEP_ERROR       /* invalid UTF-8 at layout->error_offset; the layout stops */
} gm_step;

/* One step of a layout. Positions are relative to the start of line 0 on its
 * baseline, y growing downwards: line i has its baseline at i * line height. */
typedef struct gm_placed_glyph {
  uint32_t code_point;
  size_t text_offset; /* where its UTF-8 sequence starts in the text */
  int64_t line;
  int64_t pen_x;  /* the pen before this glyph (at the end, for END and LINE_BREAK) */
  gm_glyph glyph; /* GM_STEP_GLYPH only */
  int64_t src_x;  /* the bitmap's rectangle in the atlas */
  int64_t src_y;
  int64_t width;
  int64_t height;
  int64_t dst_x; /* where the bitmap's top-left pixel goes: pen + bearing x, */
  int64_t dst_y; /* baseline - bearing y */
} gm_placed_glyph;

/* Added to the pen between two neighbouring glyphs of a line (kerning). */
typedef int32_t (*gm_kerning_fn)(void *user, uint32_t first, uint32_t second);

/* A layout in progress; set it up with gm_layout_begin. */
typedef struct gm_layout {
  const gm_font *font;
  const char *text;
  size_t length;
  size_t offset; /* the next byte to decode */
  int64_t line;
  int64_t pen_x;
  uint32_t previous; /* the last glyph drawn on this line, for kerning */
  int has_previous;
  gm_kerning_fn kerning; /* optional */
  void *kerning_user;
  gm_error error;
  size_t error_offset;
} gm_layout;

/* The line boxes of a text: every line is line height tall and as wide as
 * its advance. */
typedef struct gm_text_box {
  int64_t width;  /* the widest line's advance, 0 at least */
  int64_t height; /* lines * line height */
  int64_t lines;  /* 1 for an empty text; a final line feed adds an empty line */
  size_t missing; /* code points the font lacks (laid out as nothing) */
} gm_text_box;

/* A message for each error, e.g. "image name runs past the end of the file". */
static inline const char *gm_error_text(gm_error error);

/* Checks the whole file and fills *font. On failure *font is untouched and
 * *error_offset (when not NULL) holds the byte offset of the fault. */
static inline gm_error gm_font_parse(gm_font *font, const void *bytes, size_t length,
                                     size_t *error_offset);

/* Checks that every glyph's cell, frame included (x .. x + width + 1, y .. y +
 * rows + 1), lies inside an atlas of this size; the offset names the record. */
static inline gm_error gm_font_check_atlas(const gm_font *font, uint32_t atlas_width,
                                           uint32_t atlas_height, size_t *error_offset);

/* The record at index (below glyph_count: the code-point records). */
static inline gm_glyph gm_font_glyph(const gm_font *font, size_t index);

/* The record at index (below record_count): the code-point records, then a
 * shaped bake's glyphs that no code point reaches. */
static inline gm_glyph gm_font_record(const gm_font *font, size_t index);

/* Binary search of a shaped bake's glyph order: the first record (a record
 * index for gm_font_record) of that glyph of that font, or -1 when the bake
 * lacks it or is not shaped. */
static inline ptrdiff_t gm_font_find_glyph(const gm_font *font, uint32_t font_number,
                                           uint32_t glyph_index);

/* Binary search; with a code point baked twice, the first record. Returns the
 * record's index, or -1 when the font lacks the code point. */
static inline ptrdiff_t gm_font_find(const gm_font *font, uint32_t code_point);

/* Decodes one well-formed UTF-8 sequence at text[*offset] and moves *offset
 * past it. Overlong forms, surrogates, values above U+10FFFF and cut-off
 * sequences are invalid: 0 is returned and *offset stays. */
static inline int gm_utf8_decode(const char *text, size_t length, size_t *offset,
                                 uint32_t *code_point);

/* Starts a layout of length bytes of UTF-8 (no terminator needed) at the start
 * of line 0, without kerning; font and text must outlive it. */
static inline void gm_layout_begin(gm_layout *layout, const gm_font *font, const char *text,
                                   size_t length);

/* Optional: amounts added between neighbouring glyphs; NULL turns it off. */
static inline void gm_layout_set_kerning(gm_layout *layout, gm_kerning_fn kerning, void *user);

/* Lays out the next code point of the text. */
static inline gm_step gm_layout_next(gm_layout *layout, gm_placed_glyph *placed);

/* Runs a begun layout to its end. On invalid UTF-8 returns its error and
 * sets *error_offset; *box then covers the text before it. */
static inline gm_error gm_layout_measure(gm_layout *layout, gm_text_box *box, size_t *error_offset);

/* gm_layout_measure of a whole text, without kerning. */
static inline gm_error gm_measure(const gm_font *font, const char *text, size_t length,
                                  gm_text_box *box, size_t *error_offset);

/* The atlas's channels for a kind: 1 (grey), 3 (RGB) or 4 (RGBA). */
static inline int32_t gm_kind_channels(gm_kind kind);

/* The reserved field a writer puts in every record of a font of this kind
 * and spread (0 for coverage, colour and mono), and in an empty file's kind
 * word. */
static inline int32_t gm_kind_reserved(gm_kind kind, int32_t spread);

/* Writing a file: the GM_FNT_HEADER_SIZE + image_name_length bytes before
 * the records, from the font's image name, metrics and glyph_count (records
 * and records_offset are not read), and one record's GM_FNT_RECORD_SIZE
 * bytes. Little-endian whatever the host, as the reader expects. */
static inline void gm_font_encode_header(const gm_font *font, unsigned char *out);
static inline void gm_glyph_encode(const gm_glyph *glyph, unsigned char *out);

/* What follows the records: GM_FNT_KIND_SIZE bytes for a font with no
 * records (glyph_count 0) of a kind other than coverage, else 0; and those
 * bytes, from the font's kind and spread. */
static inline size_t gm_font_kind_word_size(const gm_font *font);
static inline void gm_font_encode_kind_word(const gm_font *font, unsigned char *out);

/* A shaped bake (font->shaped, with glyph_count and record_count set) ends in
 * its section instead of a kind word: gm_font_shaped_size bytes (0 when not
 * shaped), which gm_font_encode_shaped writes from the kind, spread and
 * counts, the record_count - glyph_count records that no code point reaches
 * (their code written as GM_FNT_NO_CODE) and every record's glyph_index and
 * font_number, code-point records first; it orders the glyphs itself, in
 * place, without allocating. */
static inline size_t gm_font_shaped_size(const gm_font *font);
static inline void gm_font_encode_shaped(const gm_font *font, const gm_glyph *code_records,
                                         const gm_glyph *other_records, unsigned char *out);

/* End of the public interface; the definitions follow. */

static inline uint32_t gm_internal_load_u32(const unsigned char *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static inline int32_t gm_internal_load_i32(const unsigned char *p) {
  /* Two's complement without relying on an out-of-range conversion. */
  uint32_t u = gm_internal_load_u32(p);
  return u <= 0x7fffffffu ? (int32_t)u : (int32_t)(u - 0x80000000u) - 0x7fffffff - 1;
}

static inline uint64_t gm_internal_load_u64(const unsigned char *p) {
  return (uint64_t)gm_internal_load_u32(p) | (uint64_t)gm_internal_load_u32(p + 4) << 32;
}

static inline void gm_internal_store_u32(unsigned char *p, uint32_t v) {
  p[0] = (unsigned char)(v & 0xffu);
  p[1] = (unsigned char)(v >> 8 & 0xffu);
  p[2] = (unsigned char)(v >> 16 & 0xffu);
  p[3] = (unsigned char)(v >> 24 & 0xffu);
}

static inline void gm_internal_store_i32(unsigned char *p, int32_t v) {
  gm_internal_store_u32(p, (uint32_t)v);
}

static inline void gm_internal_store_u64(unsigned char *p, uint64_t v) {
  gm_internal_store_u32(p, (uint32_t)(v & 0xffffffffu));
  gm_internal_store_u32(p + 4, (uint32_t)(v >> 32));
}

static inline int32_t gm_kind_channels(gm_kind kind) {
  switch (kind) {
  case GM_KIND_MSDF:
    return 3;
  case GM_KIND_MTSDF:
  case GM_KIND_COLOR:
    return 4;
  default:
    return 1;
  }
}

static inline int32_t gm_kind_reserved(gm_kind kind, int32_t spread) {
  if (kind == GM_KIND_COVERAGE) return 0;
  if (kind == GM_KIND_SDF) return spread;
  return -((int32_t)kind * 256 + (kind == GM_KIND_MSDF || kind == GM_KIND_MTSDF ? spread : 0));
}

/* The kind and spread a reserved field names, or 0 for none: a negative
 * value other than a multi-channel field's (spread 1 to 255), colour's or
 * mono's. */
static inline int gm_internal_decode_kind(int32_t reserved, gm_kind *kind, int32_t *spread) {
  int32_t k, s;
  if (reserved >= 0) {
    *kind = reserved ? GM_KIND_SDF : GM_KIND_COVERAGE;
    *spread = reserved;
    return 1;
  }
  if (reserved < -0x7fffffff) return 0;
  k = -reserved / 256;
  s = -reserved % 256;
  if (!((k == GM_KIND_MSDF || k == GM_KIND_MTSDF) && s > 0) &&
      !((k == GM_KIND_COLOR || k == GM_KIND_MONO) && s == 0))
    return 0;
  *kind = (gm_kind)k;
  *spread = s;
  return 1;
}

static inline void gm_font_encode_header(const gm_font *font, unsigned char *out) {
  const size_t l = font->image_name_length;
  size_t i;
  gm_internal_store_u64(out + GM_FNT_NAME_LENGTH_OFFSET, (uint64_t)l);
  for (i = 0; i < l; ++i) out[GM_FNT_NAME_OFFSET + i] = (unsigned char)font->image_name[i];
  gm_internal_store_i32(out + GM_FNT_LINE_HEIGHT_OFFSET + l, font->line_height);
  gm_internal_store_i32(out + GM_FNT_SIZE_OFFSET + l, font->size);
  gm_internal_store_i32(out + GM_FNT_ASCENDER_OFFSET + l, font->ascender);
  gm_internal_store_i32(out + GM_FNT_DESCENDER_OFFSET + l, font->descender);
  gm_internal_store_u64(out + GM_FNT_COUNT_OFFSET + l, (uint64_t)font->glyph_count);
}

static inline size_t gm_font_kind_word_size(const gm_font *font) {
  return !font->shaped && font->glyph_count == 0 && font->kind != GM_KIND_COVERAGE
             ? GM_FNT_KIND_SIZE
             : 0;
}

static inline void gm_font_encode_kind_word(const gm_font *font, unsigned char *out) {
  gm_internal_store_i32(out, gm_kind_reserved(font->kind, font->spread));
}

static inline void gm_glyph_encode(const gm_glyph *glyph, unsigned char *out) {
  gm_internal_store_i32(out + GM_GLYPH_CODE_OFFSET, glyph->code);
  gm_internal_store_i32(out + GM_GLYPH_RESERVED_OFFSET, glyph->reserved);
  gm_internal_store_u32(out + GM_GLYPH_WIDTH_OFFSET, glyph->width);
  gm_internal_store_u32(out + GM_GLYPH_ROWS_OFFSET, glyph->rows);
  gm_internal_store_i32(out + GM_GLYPH_BEARING_X_OFFSET, glyph->bearing_x);
  gm_internal_store_i32(out + GM_GLYPH_BEARING_Y_OFFSET, glyph->bearing_y);
  gm_internal_store_i32(out + GM_GLYPH_X_OFFSET, glyph->x);
  gm_internal_store_i32(out + GM_GLYPH_Y_OFFSET, glyph->y);
  gm_internal_store_i32(out + GM_GLYPH_ADVANCE_OFFSET, glyph->advance);
}

static inline size_t gm_font_shaped_size(const gm_font *font) {
  if (!font->shaped) return 0;
  return GM_FNT_SHAPED_HEADER_SIZE + (font->record_count - font->glyph_count) * GM_FNT_RECORD_SIZE +
         font->record_count * (GM_FNT_GLYPH_ID_SIZE + GM_FNT_ORDER_ENTRY_SIZE);
}

/* A record's place in the glyph order: font number, glyph index, record. */
static inline int gm_internal_glyph_before(const unsigned char *ids, uint32_t a, uint32_t b) {
  uint64_t key_a = gm_internal_load_u64(ids + (size_t)a * GM_FNT_GLYPH_ID_SIZE);
  uint64_t key_b = gm_internal_load_u64(ids + (size_t)b * GM_FNT_GLYPH_ID_SIZE);
  /* Stored as u32 font then u32 index, so the u64 compares the index first. */
  key_a = key_a << 32 | key_a >> 32;
  key_b = key_b << 32 | key_b >> 32;
  return key_a < key_b || (key_a == key_b && a < b);
}

static inline void gm_internal_sift_down(const unsigned char *ids, unsigned char *order,
                                         size_t root, size_t count) {
  for (;;) {
    size_t child = 2 * root + 1;
    uint32_t top, next;
    if (child >= count) return;
    if (child + 1 < count &&
        gm_internal_glyph_before(ids, gm_internal_load_u32(order + 4 * child),
                                 gm_internal_load_u32(order + 4 * (child + 1))))
      ++child;
    top = gm_internal_load_u32(order + 4 * root);
    next = gm_internal_load_u32(order + 4 * child);
    if (!gm_internal_glyph_before(ids, top, next)) return;
    gm_internal_store_u32(order + 4 * root, next);
    gm_internal_store_u32(order + 4 * child, top);
    root = child;
  }
}

static inline void gm_font_encode_shaped(const gm_font *font, const gm_glyph *code_records,
                                         const gm_glyph *other_records, unsigned char *out) {
  const size_t others = font->record_count - font->glyph_count;
  unsigned char *ids = out + GM_FNT_SHAPED_HEADER_SIZE + others * GM_FNT_RECORD_SIZE;
  unsigned char *order = ids + font->record_count * GM_FNT_GLYPH_ID_SIZE;
  size_t i;
  gm_internal_store_u32(out + GM_FNT_SHAPED_TAG_OFFSET, GM_FNT_SHAPED_TAG);
  gm_internal_store_i32(out + GM_FNT_SHAPED_KIND_OFFSET,
                        gm_kind_reserved(font->kind, font->spread));
  gm_internal_store_u64(out + GM_FNT_SHAPED_COUNT_OFFSET, (uint64_t)others);
  for (i = 0; i < font->record_count; ++i) {
    const gm_glyph *g =
        i < font->glyph_count ? &code_records[i] : &other_records[i - font->glyph_count];
    if (i >= font->glyph_count) {
      unsigned char *record =
          out + GM_FNT_SHAPED_HEADER_SIZE + (i - font->glyph_count) * GM_FNT_RECORD_SIZE;
      gm_glyph_encode(g, record);
      gm_internal_store_i32(record + GM_GLYPH_CODE_OFFSET, GM_FNT_NO_CODE);
    }
    gm_internal_store_u32(ids + i * GM_FNT_GLYPH_ID_SIZE + GM_GLYPH_ID_FONT_OFFSET, g->font_number);
    gm_internal_store_u32(ids + i * GM_FNT_GLYPH_ID_SIZE + GM_GLYPH_ID_INDEX_OFFSET,
                          g->glyph_index);
    gm_internal_store_u32(order + 4 * i, (uint32_t)i);
  }
  /* Heapsort: in place and O(n log n), for writers that cannot allocate. */
  for (i = font->record_count / 2; i > 0; --i)
    gm_internal_sift_down(ids, order, i - 1, font->record_count);
  for (i = font->record_count; i > 1; --i) {
    uint32_t top = gm_internal_load_u32(order);
    gm_internal_store_u32(order, gm_internal_load_u32(order + 4 * (i - 1)));
    gm_internal_store_u32(order + 4 * (i - 1), top);
    gm_internal_sift_down(ids, order, 0, i - 1);
  }
}

static inline const char *gm_error_text(gm_error error) {
  switch (error) {
  case GM_OK:
    return "no error";
  case GM_ERR_SHORT_HEADER:
    return "shorter than the 32-byte header";
  case GM_ERR_NAME_PAST_END:
    return "image name runs past the end of the file";
  case GM_ERR_COUNT_OVERFLOW:
    return "glyph count is too large for any file";
  case GM_ERR_RECORDS_TRUNCATED:
    return "file ends inside the glyph records";
  case GM_ERR_TRAILING_BYTES:
    return "bytes after the last glyph record or the kind word";
  case GM_ERR_UNSORTED:
    return "glyph records out of ascending code point order";
  case GM_ERR_CELL_OUTSIDE_ATLAS:
    return "glyph cell lies outside the atlas";
  case GM_ERR_INVALID_UTF8:
    return "invalid UTF-8";
  case GM_ERR_BAD_SPREAD:
    return "glyph record's kind or spread differs from the first record's";
  case GM_ERR_UNKNOWN_KIND:
    return "glyph record's reserved field or the kind word names no atlas kind this reader knows";
  case GM_ERR_SHAPED_TRUNCATED:
    return "file ends inside the shaped section";
  case GM_ERR_OTHER_HAS_CODE:
    return "glyph record beyond the code points has a code point";
  case GM_ERR_BAD_GLYPH_ORDER:
    return "glyph order names no record or is out of order";
  }
  return "unknown error";
}

static inline gm_error gm_internal_fail(gm_error error, size_t offset, size_t *error_offset) {
  if (error_offset) *error_offset = offset;
  return error;
}

/* What a shaped section says, checked: where its parts start and how many
 * records it adds. */
typedef struct gm_internal_shaped {
  uint64_t others;
  uint64_t others_offset;
  uint64_t ids_offset;
  uint64_t order_offset;
} gm_internal_shaped;

/* The section at `at` (its tag already seen) up to the end of the file, but
 * for the records' kind, which the caller checks against the kind word. */
static inline gm_error gm_internal_parse_shaped(const unsigned char *p, uint64_t size, uint64_t at,
                                                uint64_t count, gm_internal_shaped *shaped,
                                                size_t *error_offset) {
  const uint64_t rest = size - at;
  uint64_t others, total, i, parts[3], part_size[3], end;
  if (rest < GM_FNT_SHAPED_HEADER_SIZE)
    return gm_internal_fail(GM_ERR_SHAPED_TRUNCATED, (size_t)at, error_offset);
  others = gm_internal_load_u64(p + at + GM_FNT_SHAPED_COUNT_OFFSET);
  /* Record numbers are u32, which also keeps every size below in 64 bits. */
  if (count > 0xffffffffu || others > 0xffffffffu - count)
    return gm_internal_fail(GM_ERR_COUNT_OVERFLOW, (size_t)(at + GM_FNT_SHAPED_COUNT_OFFSET),
                            error_offset);
  total = count + others;
  parts[0] = at + GM_FNT_SHAPED_HEADER_SIZE, part_size[0] = GM_FNT_RECORD_SIZE;
  parts[1] = parts[0] + others * GM_FNT_RECORD_SIZE, part_size[1] = GM_FNT_GLYPH_ID_SIZE;
  parts[2] = parts[1] + total * GM_FNT_GLYPH_ID_SIZE, part_size[2] = GM_FNT_ORDER_ENTRY_SIZE;
  end = parts[2] + total * GM_FNT_ORDER_ENTRY_SIZE;
  for (i = 0; i < 3; ++i) {
    const uint64_t part_end = i < 2 ? parts[i + 1] : end;
    if (part_end > size) {
      uint64_t whole = (size - parts[i]) / part_size[i];
      return gm_internal_fail(GM_ERR_SHAPED_TRUNCATED, (size_t)(parts[i] + whole * part_size[i]),
                              error_offset);
    }
  }
  if (end < size) return gm_internal_fail(GM_ERR_TRAILING_BYTES, (size_t)end, error_offset);
  for (i = 0; i < others; ++i) {
    const uint64_t record = parts[0] + i * GM_FNT_RECORD_SIZE;
    if (gm_internal_load_i32(p + record + GM_GLYPH_CODE_OFFSET) != GM_FNT_NO_CODE)
      return gm_internal_fail(GM_ERR_OTHER_HAS_CODE, (size_t)record, error_offset);
  }
  for (i = 0; i < total; ++i) {
    const uint64_t entry = parts[2] + i * GM_FNT_ORDER_ENTRY_SIZE;
    const uint32_t record = gm_internal_load_u32(p + entry);
    if (record >= total ||
        (i > 0 &&
         !gm_internal_glyph_before(p + parts[1], gm_internal_load_u32(p + entry - 4), record)))
      return gm_internal_fail(GM_ERR_BAD_GLYPH_ORDER, (size_t)entry, error_offset);
  }
  shaped->others = others;
  shaped->others_offset = parts[0];
  shaped->ids_offset = parts[1];
  shaped->order_offset = parts[2];
  return GM_OK;
}

static inline gm_error gm_font_parse(gm_font *font, const void *bytes, size_t length,
                                     size_t *error_offset) {
  const unsigned char *p = (const unsigned char *)bytes;
  const uint64_t size = (uint64_t)length;
  uint64_t name_length, count, records_offset, records_size, records_end, i;
  int32_t reserved, spread = 0;
  int has_kind_word, has_shaped;
  gm_kind kind = GM_KIND_COVERAGE;
  gm_internal_shaped shaped = {0, 0, 0, 0};
  gm_error e;
  if (size < GM_FNT_HEADER_SIZE) return gm_internal_fail(GM_ERR_SHORT_HEADER, length, error_offset);
  name_length = gm_internal_load_u64(p + GM_FNT_NAME_LENGTH_OFFSET);
  if (name_length > size - GM_FNT_HEADER_SIZE)
    return gm_internal_fail(GM_ERR_NAME_PAST_END, 0, error_offset);
  /* From here every header field lies inside the bytes. */
  records_offset = GM_FNT_HEADER_SIZE + name_length;
  count = gm_internal_load_u64(p + GM_FNT_COUNT_OFFSET + name_length);
  if (count > (UINT64_MAX - records_offset) / GM_FNT_RECORD_SIZE)
    return gm_internal_fail(GM_ERR_COUNT_OVERFLOW, (size_t)(GM_FNT_COUNT_OFFSET + name_length),
                            error_offset);
  records_size = count * GM_FNT_RECORD_SIZE;
  if (records_size > size - records_offset) {
    uint64_t whole = (size - records_offset) / GM_FNT_RECORD_SIZE;
    return gm_internal_fail(GM_ERR_RECORDS_TRUNCATED,
                            (size_t)(records_offset + whole * GM_FNT_RECORD_SIZE), error_offset);
  }
  /* Without records, exactly a kind word may follow; a word of 0 (coverage,
   * which has none) is trailing bytes, so every file has one encoding. */
  has_kind_word = count == 0 && size - records_offset == GM_FNT_KIND_SIZE &&
                  gm_internal_load_i32(p + records_offset) != 0;
  records_end = records_offset + records_size;
  /* Anything else after the records is a shaped section or trailing bytes,
   * as readers before 1.4 take it. */
  has_shaped = !has_kind_word && size - records_end >= GM_FNT_KIND_SIZE &&
               gm_internal_load_u32(p + records_end) == GM_FNT_SHAPED_TAG;
  if (records_end < size && !has_kind_word && !has_shaped)
    return gm_internal_fail(GM_ERR_TRAILING_BYTES, (size_t)records_end, error_offset);
  if (has_shaped) {
    e = gm_internal_parse_shaped(p, size, records_end, count, &shaped, error_offset);
    if (e != GM_OK) return e;
  }
  reserved = has_kind_word ? gm_internal_load_i32(p + records_offset)
             : has_shaped  ? gm_internal_load_i32(p + records_end + GM_FNT_SHAPED_KIND_OFFSET)
             : count       ? gm_internal_load_i32(p + records_offset + GM_GLYPH_RESERVED_OFFSET)
                           : 0;
  if (!gm_internal_decode_kind(reserved, &kind, &spread))
    return gm_internal_fail(
        GM_ERR_UNKNOWN_KIND,
        (size_t)(has_shaped ? records_end + GM_FNT_SHAPED_KIND_OFFSET : records_offset),
        error_offset);
  for (i = 0; i < count; ++i) {
    const unsigned char *record = p + records_offset + i * GM_FNT_RECORD_SIZE;
    const size_t at = (size_t)(records_offset + i * GM_FNT_RECORD_SIZE);
    if (i > 0 && gm_internal_load_i32(record + GM_GLYPH_CODE_OFFSET) <
                     gm_internal_load_i32(record - GM_FNT_RECORD_SIZE + GM_GLYPH_CODE_OFFSET))
      return gm_internal_fail(GM_ERR_UNSORTED, at, error_offset);
    if (gm_internal_load_i32(record + GM_GLYPH_RESERVED_OFFSET) != reserved)
      return gm_internal_fail(GM_ERR_BAD_SPREAD, at, error_offset);
  }
  for (i = 0; i < shaped.others; ++i) {
    const uint64_t at = shaped.others_offset + i * GM_FNT_RECORD_SIZE;
    if (gm_internal_load_i32(p + at + GM_GLYPH_RESERVED_OFFSET) != reserved)
      return gm_internal_fail(GM_ERR_BAD_SPREAD, (size_t)at, error_offset);
  }
  font->image_name = (const char *)(p + GM_FNT_NAME_OFFSET);
  font->image_name_length = (size_t)name_length;
  font->line_height = gm_internal_load_i32(p + GM_FNT_LINE_HEIGHT_OFFSET + name_length);
  font->size = gm_internal_load_i32(p + GM_FNT_SIZE_OFFSET + name_length);
  font->ascender = gm_internal_load_i32(p + GM_FNT_ASCENDER_OFFSET + name_length);
  font->descender = gm_internal_load_i32(p + GM_FNT_DESCENDER_OFFSET + name_length);
  font->glyph_count = (size_t)count;
  font->records = p + records_offset;
  font->records_offset = (size_t)records_offset;
  font->spread = spread;
  font->kind = kind;
  font->channels = gm_kind_channels(kind);
  font->shaped = has_shaped;
  font->record_count = (size_t)(count + shaped.others);
  font->other_records = has_shaped ? p + shaped.others_offset : p + records_end;
  font->other_records_offset = (size_t)(has_shaped ? shaped.others_offset : records_end);
  font->glyph_ids = has_shaped ? p + shaped.ids_offset : NULL;
  font->glyph_order = has_shaped ? p + shaped.order_offset : NULL;
  return GM_OK;
}

/* Position arithmetic saturates, so no text or metrics can make it overflow. */
static inline int64_t gm_internal_add(int64_t a, int64_t b) {
  if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
  if (b < 0 && a < INT64_MIN - b) return INT64_MIN;
  return a + b;
}

static inline int64_t gm_internal_mul(int64_t a, int32_t b) {
  if (b == 0) return 0;
  if (b == -1) return a == INT64_MIN ? INT64_MAX : -a;
  if (b > 0) {
    if (a > INT64_MAX / b) return INT64_MAX;
    if (a < INT64_MIN / b) return INT64_MIN;
  } else {
    if (a < INT64_MAX / b) return INT64_MAX;
    if (a > INT64_MIN / b) return INT64_MIN;
  }
  return a * b;
}

/* Where record `index` lies in the file. */
static inline size_t gm_internal_record_offset(const gm_font *font, size_t index) {
  return index < font->glyph_count
             ? font->records_offset + index * GM_FNT_RECORD_SIZE
             : font->other_records_offset + (index - font->glyph_count) * GM_FNT_RECORD_SIZE;
}

static inline gm_glyph gm_font_glyph(const gm_font *font, size_t index) {
  return gm_font_record(font, index);
}

static inline gm_glyph gm_font_record(const gm_font *font, size_t index) {
  const unsigned char *r =
      index < font->glyph_count
          ? font->records + index * GM_FNT_RECORD_SIZE
          : font->other_records + (index - font->glyph_count) * GM_FNT_RECORD_SIZE;
  gm_glyph g;
  g.code = gm_internal_load_i32(r + GM_GLYPH_CODE_OFFSET);
  g.width = gm_internal_load_u32(r + GM_GLYPH_WIDTH_OFFSET);
  g.rows = gm_internal_load_u32(r + GM_GLYPH_ROWS_OFFSET);
  g.bearing_x = gm_internal_load_i32(r + GM_GLYPH_BEARING_X_OFFSET);
  g.bearing_y = gm_internal_load_i32(r + GM_GLYPH_BEARING_Y_OFFSET);
  g.x = gm_internal_load_i32(r + GM_GLYPH_X_OFFSET);
  g.y = gm_internal_load_i32(r + GM_GLYPH_Y_OFFSET);
  g.advance = gm_internal_load_i32(r + GM_GLYPH_ADVANCE_OFFSET);
  g.reserved = gm_internal_load_i32(r + GM_GLYPH_RESERVED_OFFSET);
  g.glyph_index = 0;
  g.font_number = 0;
  if (font->shaped) {
    const unsigned char *id = font->glyph_ids + index * GM_FNT_GLYPH_ID_SIZE;
    g.glyph_index = gm_internal_load_u32(id + GM_GLYPH_ID_INDEX_OFFSET);
    g.font_number = gm_internal_load_u32(id + GM_GLYPH_ID_FONT_OFFSET);
  }
  return g;
}

static inline ptrdiff_t gm_font_find_glyph(const gm_font *font, uint32_t font_number,
                                           uint32_t glyph_index) {
  size_t low = 0, high = font->record_count, record;
  const unsigned char *id;
  if (!font->shaped) return -1;
  /* Lower bound: the first entry whose glyph is not below the one sought. */
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    id = font->glyph_ids +
         (size_t)gm_internal_load_u32(font->glyph_order + mid * GM_FNT_ORDER_ENTRY_SIZE) *
             GM_FNT_GLYPH_ID_SIZE;
    if (gm_internal_load_u32(id + GM_GLYPH_ID_FONT_OFFSET) < font_number ||
        (gm_internal_load_u32(id + GM_GLYPH_ID_FONT_OFFSET) == font_number &&
         gm_internal_load_u32(id + GM_GLYPH_ID_INDEX_OFFSET) < glyph_index))
      low = mid + 1;
    else
      high = mid;
  }
  if (low == font->record_count) return -1;
  record = gm_internal_load_u32(font->glyph_order + low * GM_FNT_ORDER_ENTRY_SIZE);
  id = font->glyph_ids + record * GM_FNT_GLYPH_ID_SIZE;
  if (gm_internal_load_u32(id + GM_GLYPH_ID_FONT_OFFSET) != font_number ||
      gm_internal_load_u32(id + GM_GLYPH_ID_INDEX_OFFSET) != glyph_index)
    return -1;
  return (ptrdiff_t)record;
}

static inline gm_error gm_font_check_atlas(const gm_font *font, uint32_t atlas_width,
                                           uint32_t atlas_height, size_t *error_offset) {
  size_t i;
  for (i = 0; i < font->record_count; ++i) {
    gm_glyph g = gm_font_record(font, i);
    /* The cell spans x .. x + width + 1 inclusive; 64 bits hold every sum. */
    int64_t right = (int64_t)g.x + (int64_t)g.width + 1;
    int64_t bottom = (int64_t)g.y + (int64_t)g.rows + 1;
    if (g.x < 0 || g.y < 0 || right >= (int64_t)atlas_width || bottom >= (int64_t)atlas_height)
      return gm_internal_fail(GM_ERR_CELL_OUTSIDE_ATLAS, gm_internal_record_offset(font, i),
                              error_offset);
  }
  return GM_OK;
}

static inline ptrdiff_t gm_font_find(const gm_font *font, uint32_t code_point) {
  size_t low = 0, high = font->glyph_count;
  /* Lower bound: the first record whose code is not below the code point. */
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if ((int64_t)gm_internal_load_i32(font->records + mid * GM_FNT_RECORD_SIZE) <
        (int64_t)code_point)
      low = mid + 1;
    else
      high = mid;
  }
  if (low < font->glyph_count &&
      (int64_t)gm_internal_load_i32(font->records + low * GM_FNT_RECORD_SIZE) ==
          (int64_t)code_point)
    return (ptrdiff_t)low;
  return -1;
}

static inline int gm_utf8_decode(const char *text, size_t length, size_t *offset,
                                 uint32_t *code_point) {
  const unsigned char *s;
  size_t left, n, k;
  uint32_t c, min;
  /* Checked before any pointer arithmetic: text may be NULL when length is 0. */
  if (*offset >= length) return 0;
  s = (const unsigned char *)text + *offset;
  left = length - *offset;
  if (s[0] < 0x80) {
    *code_point = s[0];
    *offset += 1;
    return 1;
  }
  if (s[0] >= 0xc2 && s[0] <= 0xdf)
    n = 2, c = s[0] & 0x1fu, min = 0x80;
  else if (s[0] >= 0xe0 && s[0] <= 0xef)
    n = 3, c = s[0] & 0x0fu, min = 0x800;
  else if (s[0] >= 0xf0 && s[0] <= 0xf4)
    n = 4, c = s[0] & 0x07u, min = 0x10000;
  else
    return 0;
  if (left < n) return 0;
  for (k = 1; k < n; ++k) {
    if ((s[k] & 0xc0) != 0x80) return 0;
    c = c << 6 | (s[k] & 0x3fu);
  }
  if (c < min || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) return 0;
  *code_point = c;
  *offset += n;
  return 1;
}

static inline void gm_layout_begin(gm_layout *layout, const gm_font *font, const char *text,
                                   size_t length) {
  layout->font = font;
  layout->text = text;
  layout->length = length;
  layout->offset = 0;
  layout->line = 0;
  layout->pen_x = 0;
  layout->previous = 0;
  layout->has_previous = 0;
  layout->kerning = NULL;
  layout->kerning_user = NULL;
  layout->error = GM_OK;
  layout->error_offset = 0;
}

static inline void gm_layout_set_kerning(gm_layout *layout, gm_kerning_fn kerning, void *user) {
  layout->kerning = kerning;
  layout->kerning_user = user;
}

static inline void gm_internal_place_pen(const gm_layout *layout, gm_placed_glyph *placed) {
  placed->line = layout->line;
  placed->pen_x = layout->pen_x;
}

static inline gm_step gm_layout_next(gm_layout *layout, gm_placed_glyph *placed) {
  uint32_t c = 0;
  size_t start = layout->offset;
  ptrdiff_t index;
  gm_glyph g;
  placed->text_offset = start;
  placed->code_point = 0;
  if (layout->error != GM_OK) {
    gm_internal_place_pen(layout, placed);
    return GM_STEP_ERROR;
  }
  if (start >= layout->length) {
    gm_internal_place_pen(layout, placed);
    return GM_STEP_END;
  }
  if (!gm_utf8_decode(layout->text, layout->length, &layout->offset, &c)) {
    layout->error = GM_ERR_INVALID_UTF8;
    layout->error_offset = start;
    gm_internal_place_pen(layout, placed);
    return GM_STEP_ERROR;
  }
  placed->code_point = c;
  if (c == '\n') {
    gm_internal_place_pen(layout, placed);
    layout->line = gm_internal_add(layout->line, 1);
    layout->pen_x = 0;
    layout->has_previous = 0;
    return GM_STEP_LINE_BREAK;
  }
  index = gm_font_find(layout->font, c);
  if (index < 0) {
    gm_internal_place_pen(layout, placed);
    return GM_STEP_MISSING;
  }
  g = gm_font_glyph(layout->font, (size_t)index);
  if (layout->kerning && layout->has_previous)
    layout->pen_x =
        gm_internal_add(layout->pen_x, layout->kerning(layout->kerning_user, layout->previous, c));
  gm_internal_place_pen(layout, placed);
  placed->glyph = g;
  placed->src_x = (int64_t)g.x + 1;
  placed->src_y = (int64_t)g.y + 1;
  placed->width = (int64_t)g.width;
  placed->height = (int64_t)g.rows;
  placed->dst_x = gm_internal_add(layout->pen_x, g.bearing_x);
  placed->dst_y = gm_internal_add(gm_internal_mul(layout->line, layout->font->line_height),
                                  -(int64_t)g.bearing_y);
  layout->pen_x = gm_internal_add(layout->pen_x, g.advance);
  layout->previous = c;
  layout->has_previous = 1;
  return GM_STEP_GLYPH;
}

static inline gm_error gm_layout_measure(gm_layout *layout, gm_text_box *box,
                                         size_t *error_offset) {
  gm_placed_glyph placed;
  gm_step step;
  box->width = 0;
  box->missing = 0;
  for (;;) {
    step = gm_layout_next(layout, &placed);
    if (step == GM_STEP_MISSING) box->missing += 1;
    if ((step == GM_STEP_LINE_BREAK || step == GM_STEP_END || step == GM_STEP_ERROR) &&
        placed.pen_x > box->width)
      box->width = placed.pen_x;
    if (step == GM_STEP_END || step == GM_STEP_ERROR) break;
  }
  box->lines = gm_internal_add(layout->line, 1);
  box->height = gm_internal_mul(box->lines, layout->font->line_height);
  if (step == GM_STEP_ERROR)
    return gm_internal_fail(layout->error, layout->error_offset, error_offset);
  return GM_OK;
}

static inline gm_error gm_measure(const gm_font *font, const char *text, size_t length,
                                  gm_text_box *box, size_t *error_offset) {
  gm_layout layout;
  gm_layout_begin(&layout, font, text, length);
  return gm_layout_measure(&layout, box, error_offset);
}

#ifdef GM_FNT_LOAD_FILE
/* Reads a whole file into a buffer from malloc, which the caller frees.
 * Returns NULL when it cannot be opened or read. It reads until the end of
 * the file, so a FIFO or a device waits for its writer to finish: give it
 * regular files. */
static inline void *gm_load_file(const char *path, size_t *length) {
  FILE *f = fopen(path, "rb");
  unsigned char *data = NULL;
  size_t used = 0, capacity = 0, got;
  if (!f) return NULL;
  for (;;) {
    if (used == capacity) {
      size_t grown = capacity ? capacity * 2 : 65536;
      unsigned char *bigger;
      if (grown < capacity) break;
      bigger = (unsigned char *)realloc(data, grown);
      if (!bigger) break;
      data = bigger;
      capacity = grown;
    }
    got = fread(data + used, 1, capacity - used, f);
    used += got;
    if (got == 0) {
      if (ferror(f)) break;
      fclose(f);
      *length = used;
      /* An empty file still gets a buffer, so NULL always means failure. */
      return data;
    }
  }
  fclose(f);
  free(data);
  return NULL;
}
#endif

#ifdef __cplusplus
}
#endif

#endif
