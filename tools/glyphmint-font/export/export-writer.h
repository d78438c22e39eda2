// What `export` writes once its options are read: a BMFont descriptor and its
// pages, or the c form, checked against the export's inputs before anything is
// written and written all or nothing.
#pragma once

#include "tools/glyphmint-font/export/baked-to-bmfont.h"
#include "tools/glyphmint-font/export/padded-page.h"

#include <optional>

struct Engine;
#include <string>

/// An export as its command line asks for it.
struct ExportOptions {
  Path fnt;
  bool c_form = false;
  BmForm form = BmForm::Text;
  Path out;
  BmPage page = BmPage::Rgba;
  Path font_file;                     ///< empty without --font
  std::optional<GlyphRoom> room;      ///< with --padding or --spacing
  std::optional<AtlasSize> page_size; ///< with --page-size
  std::string c_name;                 ///< the c form's
  const Engine *engine = nullptr;     ///< with --engine: its page limit holds
};

/// Writes the export of the loaded font. Every output must be a regular file
/// where it exists, within the path limit, and none an input of the export
/// (nor a page the descriptor); duplicate code points, and pages that
/// --page-size did not ask for, are noted on standard error. With a font
/// file, the loaded font takes its advances (take_font_advances). Throws Err
/// naming the file for any fault; nothing is written then.
void write_export(LoadedFont &loaded, const ExportOptions &options);
