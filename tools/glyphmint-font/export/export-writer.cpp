#include "tools/glyphmint-font/export/export-writer.h"

#include "core/fmt.h"
#include "tools/glyphmint-font/export/c-source.h"
#include "tools/glyphmint-font/cli/console.h"
#include "tools/glyphmint-font/cli/given-paths.h"
#include "tools/glyphmint-font/kerning/kerning.h"
#include "tools/glyphmint-font/cli/output.h"

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

void write_bmfont(const LoadedFont &loaded, const ExportOptions &options) {
  const Path page = bmfont_page_path(options.out);
  const Input inputs[] = {{loaded.fnt_path, "the font being exported"},
                          {loaded.image_path, "the atlas of the font being exported"},
                          {options.font_file, "the font file given with --font"},
                          {options.out, "the descriptor"}};
  check_output(options.out, ArrView<const Input>(inputs, 3));
  check_output(page, ArrView<const Input>(inputs, 4));
  if (options.page == BmPage::Grey && loaded.font.channels != 1)
    throw Err(fmt(loaded.fnt_path, ": --page grey takes a one-channel atlas; this one has ",
                  loaded.font.channels, " channels and is its own page"));

  BakedAsBmFont baked = describe_as_bmfont(loaded, options.page, page.name());
  for (const u32 code : baked.duplicates)
    print_message(fmt(loaded.fnt_path, ": code point ", code,
                      " is baked more than once; exported once, from its first record"));
  std::optional<Image> padded;
  if (options.room) {
    padded = lay_out_padded_page(baked.font, loaded.atlas, *options.room);
    if (!padded)
      throw Err(fmt(loaded.fnt_path, ": its glyphs with this padding and spacing fit no page up "
                                     "to 2048x4096; nothing was written"));
  }
  std::vector<KerningPair> pairs;
  if (!options.font_file.empty()) pairs = kerning_pairs(options.font_file, loaded.font);
  const Str descriptor = descriptor_bytes(baked.font, pairs, options);
  const Bytes png = bmfont_page_png(padded ? *padded : loaded.atlas, options.page);
  // Both are written before either is put in place, the page first: a
  // descriptor never names a page that is not there, and a failure leaves the
  // earlier pair as it was.
  const Output outputs[] = {{page, png.view()}, {options.out, bytes_of(descriptor.view())}};
  write_outputs(ArrView<const Output>(outputs, 2));
}

} // namespace

void write_export(const LoadedFont &loaded, const ExportOptions &options) {
  if (options.out.name().empty()) throw Err(fmt(options.out, ": names a directory, not a file"));
  if (options.c_form)
    write_c_form(loaded, options);
  else
    write_bmfont(loaded, options);
}
