// The game and web engines that `export --engine` writes for: which BMFont
// form each loads, whether it takes several pages, what it draws a distance
// field with, and what it cannot load, refused before anything is written.
#pragma once

#include "tools/glyphmint-font/export/export-writer.h"

#include <string>

/// What one engine loads, and what its user sets for it, as verified by
/// loading our exports into it or reading its shipped loader.
struct Engine {
  const char *name;
  BmForm form;       ///< what it reads a coverage or colour font from
  BmForm field_form; ///< what it reads a distance field from
  /// Its text parser reads every value that starts like a number as that
  /// number, a face or page name too: such names go in the XML form.
  bool text_names_as_numbers;
  /// Why it cannot draw a distance field; nullptr when it can.
  const char *no_fields_because;
  /// Its largest texture on a side when it draws from one texture only; 0
  /// when it takes a font on several pages.
  i32 one_page_side;
  const char *kerning;  ///< how it applies kerning pairs
  const char *settings; ///< what its user must set to draw the font as baked
  const char *notes;    ///< its quirks, which the help lists
};

/// The engine with that name, or nullptr.
[[nodiscard]] const Engine *find_engine(StrView name);

/// The known names as a usage message lists them: "pixi, phaser, ... or love".
[[nodiscard]] std::string engine_names();

/// The table `help export` prints: engine, form, pages, distance fields,
/// kerning, and what to set in the engine; one engine a paragraph.
[[nodiscard]] std::string engine_table();

/// Fits the export's options to the engine for the loaded font: its form
/// (the XML form where the engine would read the face or page name as a
/// number from the text form), and, when it draws from one texture and the glyphs are laid out anew
/// without --page-size, pages of its largest texture. Throws Err naming the
/// engine and the reason for what it cannot draw: a --page grey page (every
/// engine blends glyphs with the page's alpha, so overlapping cells of kerned
/// or overhanging glyphs would blank each other), or a distance field that
/// its form cannot carry or it cannot draw.
void fit_to_engine(const Engine &engine, const LoadedFont &loaded, ExportOptions &options);

/// Throws Err "<out>: <engine> draws a font from one texture ..." when the
/// engine takes one page and the glyphs were laid out anew on several.
void refuse_extra_pages(const Engine &engine, const Path &out, const std::vector<Image> &pages);
