#include "tools/glyphmint-font/export/export-writer.h"

#include "core/fmt.h"
#include "tools/glyphmint-font/baked/glyph-suppliers.h"
#include "tools/glyphmint-font/cli/console.h"
#include "tools/glyphmint-font/cli/given-paths.h"
#include "tools/glyphmint-font/cli/output.h"
#include "tools/glyphmint-font/export/c-source.h"
#include "tools/glyphmint-font/export/engines.h"
#include "tools/glyphmint-font/export/page-owners.h"
#include "tools/glyphmint-font/kerning/font-advances.h"
#include "tools/glyphmint-font/kerning/kerning.h"

#include <vector>

namespace {

// A regular file where it exists, within the path limit, and none of the
// inputs, whatever links or relative paths name them.
void check_output(const Path &out, ArrView<const Input> inputs) {
  require_short_path(out);
  refuse_non_regular(out);
  refuse_overwriting(inputs, out);
}

ArrView<const u8> bytes_of(StrView text) {
  return ArrView<const u8>(reinterpret_cast<const u8 *>(text.data), text.len);
}

void write_c_form(const LoadedFont &loaded, const ExportOptions &options) {
  const Input inputs[] = {{loaded.fnt_path, "the font being exported"},
                          {loaded.image_path, "the atlas of the font being exported"}};
  check_output(options.out, ArrView<const Input>(inputs, 2));
  const std::string source = c_source(options.c_name, loaded);
  write_output(options.out, bytes_of(StrView(source.data(), source.size())));
}

Str descriptor_bytes(const BmFont &font, const std::vector<KerningPair> &pairs,
                     const ExportOptions &options) {
  try {
    return bmfont_bytes(font, ArrView<const KerningPair>(pairs.data(), pairs.size()), options.form);
  } catch (const Err &e) {
    throw Err(fmt(options.out, ": cannot be written in the ", bmfont_form_name(options.form),
                  " form: ", e.message));
  }
}

[[noreturn]] void refuse_unplaced(const BmFont &font, const LoadedFont &loaded,
                                  const GlyphRoom &room, AtlasSize largest) {
  if (const BmChar *c = char_larger_than_page(font, room, largest)) {
    const AtlasSize needs = page_room_of(*c, room);
    StrBuilder glyph;
    glyph.appendf("U+%04X", unsigned(c->id));
    throw Err(fmt(loaded.fnt_path, ": the glyph of ", glyph.view(), " takes ", needs.width, 'x',
                  needs.height, " pixels with this padding and spacing, more than the page of ",
                  largest.width, 'x', largest.height, "; nothing was written"));
  }
  throw Err(fmt(loaded.fnt_path, ": its glyphs with this padding and spacing fit no page up to ",
                largest.width, 'x', largest.height, "; nothing was written"));
}

// The pages as the options lay them out; none when the atlas is the page.
std::vector<Image> lay_out(BmFont &font, const LoadedFont &loaded, const ExportOptions &options) {
  if (!options.room && !options.page_size) return {};
  // Alone, --page-size keeps the glyphs as far apart as the atlas's frames do.
  GlyphRoom room;
  room.spacing[0] = room.spacing[1] = 2;
  const AtlasSize largest =
      options.page_size.value_or(AtlasSize{k_atlas_max_width, k_atlas_max_height});
  std::optional<std::vector<Image>> pages =
      lay_out_pages(font, loaded.atlas, options.room.value_or(room), largest);
  if (!pages) refuse_unplaced(font, loaded, options.room.value_or(room), largest);
  return std::move(*pages);
}

void write_bmfont(LoadedFont &loaded, const ExportOptions &options) {
  const Input inputs[] = {{loaded.fnt_path, "the font being exported"},
                          {loaded.image_path, "the atlas of the font being exported"},
                          {options.font_file, "the font file given with --font"},
                          {options.out, "the descriptor"}};
  check_output(options.out, ArrView<const Input>(inputs, 3));
  // The atlas as the one page is known now; pages laid out anew once they are.
  const bool atlas_is_page = !options.room && !options.page_size;
  if (atlas_is_page) check_output(bmfont_page_path(options.out), ArrView<const Input>(inputs, 4));
  if (options.page == BmPage::Grey && loaded.font.channels != 1)
    throw Err(fmt(loaded.fnt_path, ": --page grey takes a one-channel atlas; this one has ",
                  loaded.font.channels, " channels and is its own page"));
  if (!options.font_file.empty()) take_font_advances(loaded, options.font_file);

  BakedAsBmFont baked = describe_as_bmfont(loaded, options.page, {});
  for (const u32 code : baked.duplicates)
    print_message(fmt(loaded.fnt_path, ": code point ", code,
                      " is baked more than once; exported once, from its first record"));
  if (options.form != BmForm::Json && !baked.font.glyphs.empty())
    print_message(fmt(loaded.fnt_path, ": a shaped bake: its ", u64{baked.font.glyphs.size()},
                      " glyphs that no code point reaches are left out of the ",
                      bmfont_form_name(options.form),
                      " form, which keys chars by code point; "
                      "the json form carries them"));
  const std::vector<Image> laid_out = lay_out(baked.font, loaded, options);
  const u64 count = atlas_is_page ? 1 : laid_out.size();
  if (options.engine) refuse_extra_pages(*options.engine, options.out, laid_out);
  std::vector<Path> page_paths;
  baked.font.pages.clear();
  for (u64 id = 0; id < count; ++id) {
    page_paths.push_back(bmfont_page_path(options.out, id, count));
    if (!atlas_is_page) check_output(page_paths.back(), ArrView<const Input>(inputs, 4));
    baked.font.pages.push_back(Str(page_paths.back().name()));
  }
  std::vector<KerningPair> pairs;
  if (!options.font_file.empty())
    pairs = kerning_pairs(options.font_file, loaded.font,
                          glyph_suppliers(loaded).fallback_codes(loaded.font));
  const Str descriptor = descriptor_bytes(baked.font, pairs, options);
  std::vector<Bytes> pngs;
  for (u64 id = 0; id < count; ++id)
    pngs.push_back(bmfont_page_png(atlas_is_page ? loaded.atlas : laid_out[id], options.page));
  // All are written before any is put in place, the pages first: a
  // descriptor never names a page that is not there, and a failure leaves the
  // earlier export as it was.
  std::vector<Output> outputs;
  for (u64 id = 0; id < count; ++id) outputs.push_back({page_paths[id], pngs[id].view()});
  refuse_replacing_others_pages(options.out, ArrView<const Output>(outputs.data(), count));
  outputs.push_back({options.out, bytes_of(descriptor.view())});
  write_outputs(ArrView<const Output>(outputs.data(), outputs.size()));
  if (count > 1 && !options.page_size)
    print_message(fmt(options.out, ": the glyphs fit no one page of ", k_atlas_max_width, 'x',
                      k_atlas_max_height, "; written on ", count, " pages"));
}

} // namespace

void write_export(LoadedFont &loaded, const ExportOptions &options) {
  if (options.out.name().empty()) throw Err(fmt(options.out, ": names a directory, not a file"));
  if (options.c_form)
    write_c_form(loaded, options);
  else
    write_bmfont(loaded, options);
}
