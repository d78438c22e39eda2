// A baked font turned into what `export` writes: the BMFont description the
// writers take, and the page images with their names beside the descriptor.
#pragma once

#include "tools/glyphmint-font/baked/loaded-font.h"
#include "tools/glyphmint-font/export/bmfont.h"

#include <vector>

/// What the page image of a one-channel atlas holds: white with the glyphs'
/// coverage in alpha (what engines blend with), or the atlas's own greyscale
/// pixels. A multi-channel atlas (RGB or RGBA) is its own page.
enum class BmPage { Rgba, Grey };

/// A baked font described for the BMFont writers.
struct BakedAsBmFont {
  BmFont font;
  /// Code points with more than one record, each once, ascending: loaders key
  /// chars by id, so only the first record of each is described.
  std::vector<u32> duplicates;
};

/// The .fnt under BMFont's names: a char's x and y are its cell's plus one
/// (the bitmap inside the frame), yoffset the ascender less the bearing y;
/// base is the ascender, smooth 0 for a monochrome bake, spacing 2,2 (two
/// frames between bitmaps), a distance field's padding its spread on every
/// side and its range twice that, the channel fields what the page's channels
/// hold (a colour or multi-channel page: glyph data in all of them but an RGB
/// page's missing alpha), and the
/// face the atlas's name without its "-<size>.png" ending (without just its
/// extension when it ends otherwise). A shaped bake's chars carry their
/// glyph and font, and its records that no code point reaches are the
/// font's glyphs, in the file's order. Throws Err "<fnt>: code point N is
/// negative; no BMFont id holds it".
[[nodiscard]] BakedAsBmFont describe_as_bmfont(const LoadedFont &loaded, BmPage page,
                                               StrView page_name);

/// Page `id` of `count` beside OUT, named by OUT's file name up to its last
/// dot and the id, zero-padded to as many digits as the last id has, since
/// the binary form holds names of one length:
///   dir/Serif-16.bmfont.fnt => dir/Serif-16.bmfont_0.png,  out => out_0.png
///   out.fnt, id 3 of 12 => out_03.png
[[nodiscard]] Path bmfont_page_path(const Path &out, u64 id = 0, u64 count = 1);

/// The page image of the atlas, as PNG: a multi-channel atlas as it is.
[[nodiscard]] Bytes bmfont_page_png(const Image &atlas, BmPage page);
