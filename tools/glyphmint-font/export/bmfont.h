// The AngelCode BMFont descriptor that game engines and web loaders read, in
// its four forms (text, XML, binary version 3, JSON), built in memory from one
// neutral description of a font on one page or several. The trap: loaders are stricter
// than the format's reference, so the writers keep its exact order of lines
// and fields, and refuse a value or a name that a form cannot hold instead of
// wrapping or mangling it.
#pragma once

#include "core/str.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <vector>

enum class BmForm : u32 { Text, Xml, Binary, Json };

/// The info block: how the font was made. Numbers are as wide as any source
/// can give; the binary form checks each against its field.
struct BmInfo {
  Str face;
  i64 size = 0;
  bool bold = false;
  bool italic = false;
  bool unicode = true; ///< ids are code points; the charset field is then empty
  bool smooth = true;
  i64 stretch_h = 100; ///< percent
  i64 aa = 1;          ///< supersampling level
  i64 padding[4] = {}; ///< up, right, down, left
  i64 spacing[2] = {}; ///< horizontal, vertical
  i64 outline = 0;
};

/// The common block. Each channel field says what that channel of the page
/// holds: 0 the glyph, 1 the outline, 2 both, 3 zero, 4 one.
struct BmCommon {
  i64 line_height = 0; ///< distance between baselines
  i64 base = 0;        ///< from the top of a line to the baseline
  i64 scale_w = 0;     ///< the page's size
  i64 scale_h = 0;
  i64 alpha_chnl = 0;
  i64 red_chnl = 4;
  i64 green_chnl = 4;
  i64 blue_chnl = 4;
};

/// One glyph: its rectangle in the page and how it sits on a line.
struct BmChar {
  u32 id = 0; ///< the code point
  i64 x = 0;
  i64 y = 0;
  i64 width = 0;
  i64 height = 0;
  i64 xoffset = 0; ///< pen to the rectangle's left
  i64 yoffset = 0; ///< top of the line to the rectangle's top
  i64 xadvance = 0;
  i64 page = 0;  ///< the index of its page in BmFont::pages
  i64 chnl = 15; ///< the channels that hold it: 1 blue, 2 green, 4 red, 8 alpha
  /// Of a shaped bake: the glyph's index in its font, and which font: 0 the
  /// main one, 1 and on the fallbacks in the settings' order.
  i64 glyph = 0;
  i64 font = 0;
};

struct BmFont {
  BmInfo info;
  BmCommon common;
  /// A distance field's range in pixels (twice its spread), which the XML and
  /// JSON forms carry as distanceField; 0 for coverage and colour.
  i64 distance_range = 0;
  /// The distance field's fieldType: "sdf", "msdf" or "mtsdf".
  const char *field_type = "sdf";
  /// The pages' image file names, relative to the descriptor, by id; every
  /// page is scale_w x scale_h.
  std::vector<Str> pages;
  std::vector<BmChar> chars;
  /// A shaped bake's: the JSON form then gives each char its glyph and font,
  /// and lists `glyphs`, those that no code point reaches (their ids unused),
  /// which only a renderer that shapes the text finds, by glyph and font.
  bool shaped = false;
  std::vector<BmChar> glyphs;
};

/// The descriptor in that form, kerning pairs included (the binary form
/// leaves its kerning block out when there are none). Throws Err naming the
/// field, and the code point for a char, when a value does not fit the form's
/// field, or naming the name that holds what the form cannot carry (the
/// binary form's page names must all be of one length).
[[nodiscard]] Str bmfont_bytes(const BmFont &font, ArrView<const KerningPair> kernings,
                               BmForm form);

/// "text", "xml", "binary" or "json".
[[nodiscard]] StrView bmfont_form_name(BmForm form);

/// The form with that name; false, and out untouched, for any other text.
[[nodiscard]] bool try_parse_bmfont_form(StrView name, BmForm &out);
