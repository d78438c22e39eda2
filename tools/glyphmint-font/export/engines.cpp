#include "tools/glyphmint-font/export/engines.h"

#include "core/fmt.h"

#include <iterator>

namespace {

// Facts from loading exports into each engine (PixiJS 8.22, Phaser 4.2 and
// melonJS 20.7 in the tests; Godot 3 and LÖVE 11 by hand) and from their
// shipped loaders.
const char k_text_has_no_field[] = "the text and binary forms, which it reads, carry no "
                                   "distance field, so it would draw the field as coverage";
const char k_no_field_shader[] =
    "its bitmap text has no distance-field shader and would draw the field as coverage";

// The largest texture the one-texture engines document no limit for: what
// WebGL devices commonly take.
constexpr i32 k_common_texture_side = 4096;

const Engine k_engines[] = {
    {"pixi", BmForm::Text, BmForm::Xml, true, nullptr, 0, "applied between each pair",
     "a coverage page's texture scaleMode 'nearest', and whole-pixel positions; a distance "
     "field nothing",
     "It loads a field's page linear and draws it through its own SDF/MSDF shader, within 24 "
     "of render at 4x. Its text parser drops the distanceField line, reads only a file that "
     "starts with 'info face=', and reads a face or page name that starts like a number as "
     "that number: such fonts are written in the XML form. It pairs pages with the page "
     "lines by their position, which export writes in id order."},
    {"phaser", BmForm::Xml, BmForm::Xml, false, k_no_field_shader, k_common_texture_side,
     "applied between each pair", "pixelArt: true in the game's config, for nearest filtering",
     "It reads no page attribute: every glyph is cut out of the one texture loaded with the "
     "XML."},
    {"melonjs", BmForm::Text, BmForm::Text, false, k_no_field_shader, k_common_texture_side,
     "applied after the pair's second glyph, which is drawn unmoved: the glyphs after it move",
     "the BitmapText's lineHeight to text.fontData.lineHeight / text.fontData.capHeight; "
     "antiAlias is off (nearest) by default",
     "It spaces lines by a capital's height times lineHeight, not by the font's line height. "
     "Its text parser takes the second line as common and the records from the fifth on, so "
     "one page line; it reads the XML form too."},
    {"godot", BmForm::Text, BmForm::Text, false, k_text_has_no_field, 0,
     "written as kerning lines, not drawn by our tests",
     "nearest filtering: Godot 4's texture_filter Nearest on the node, Godot 3's Filter off "
     "in the page's import settings",
     "Godot 3 and 4 read the text and the binary form."},
    {"love", BmForm::Text, BmForm::Text, false, k_text_has_no_field, 0,
     "written as kerning lines, not drawn by our tests", "font:setFilter(\"nearest\", \"nearest\")",
     "LÖVE 11 reads the text form."},
};

// What JavaScript's parseFloat reads as a number: optional blanks, a sign,
// then a digit, a dot and a digit, or Infinity.
bool starts_like_a_number(StrView text) {
  u64 at = 0;
  while (at < text.len && (text[at] == ' ' || text[at] == '\t')) ++at;
  if (at < text.len && (text[at] == '+' || text[at] == '-')) ++at;
  const StrView rest = text.sub(at, StrView::npos);
  const auto digit = [&](u64 i) { return i < rest.len && rest[i] >= '0' && rest[i] <= '9'; };
  return digit(0) || (rest.starts_with('.') && digit(1)) || rest.starts_with("Infinity");
}

// Greedy word wrap of one table cell to `width` columns, each line after the
// first indented by `indent`.
std::string wrapped(const std::string &text, u64 width, const std::string &indent) {
  std::string out, line;
  u64 start = 0;
  while (start < text.size()) {
    u64 end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n" + indent;
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  return out + line;
}

} // namespace

const Engine *find_engine(StrView name) {
  for (const Engine &engine : k_engines)
    if (name == StrView(engine.name)) return &engine;
  return nullptr;
}

std::string engine_names() {
  std::string names;
  const u64 count = std::size(k_engines);
  for (u64 i = 0; i < count; ++i) {
    if (i != 0) names += i + 1 == count ? " or " : ", ";
    names += k_engines[i].name;
  }
  return names;
}

std::string engine_table() {
  const auto form_name = [](BmForm form) {
    const StrView name = bmfont_form_name(form);
    return std::string(name.data, name.len);
  };
  const std::string indent(11, ' ');
  std::string table = "ENGINE     FORM; PAGES; DISTANCE FIELDS; KERNING; WHAT TO SET\n";
  for (const Engine &e : k_engines) {
    const std::string side = std::to_string(e.one_page_side);
    const std::string pages =
        e.one_page_side ? "one page, up to " + side + "x" + side : std::string("several pages");
    const std::string fields =
        e.no_fields_because
            ? std::string("distance fields refused: ") + e.no_fields_because
            : "sdf, msdf and mtsdf fields from the " + form_name(e.field_form) + " form";
    const std::string row = form_name(e.form) + " form; " + pages + "; " + fields + "; kerning " +
                            e.kerning + "; set " + e.settings + ". " + e.notes;
    std::string name = e.name;
    name.resize(indent.size(), ' ');
    table += name + wrapped(row, 79 - indent.size(), indent) + "\n";
  }
  return table;
}

void fit_to_engine(const Engine &engine, const LoadedFont &loaded, ExportOptions &options) {
  if (options.page == BmPage::Grey)
    throw Err(fmt(loaded.fnt_path, ": --page grey is refused for ", StrView(engine.name),
                  ": it blends glyphs with the page's alpha, which a grey page lacks, so "
                  "overlapping cells of kerned or overhanging glyphs would blank each other; "
                  "nothing was written"));
  const BmFont described = describe_as_bmfont(loaded, BmPage::Rgba, {}).font;
  const bool field = described.distance_range > 0;
  if (field && engine.no_fields_because)
    throw Err(fmt(loaded.fnt_path, ": ", StrView(engine.name), " cannot load a distance field: ",
                  StrView(engine.no_fields_because), "; nothing was written"));
  options.form = field ? engine.field_form : engine.form;
  if (options.form == BmForm::Text && engine.text_names_as_numbers &&
      (starts_like_a_number(described.info.face.view()) ||
       starts_like_a_number(bmfont_page_path(options.out).name())))
    options.form = BmForm::Xml;
  // The atlas itself always fits; glyphs laid out anew get the whole texture.
  if (engine.one_page_side && options.room && !options.page_size)
    options.page_size = AtlasSize{engine.one_page_side, engine.one_page_side};
}

void refuse_extra_pages(const Engine &engine, const Path &out, const std::vector<Image> &pages) {
  if (!engine.one_page_side || pages.size() <= 1) return;
  throw Err(fmt(out, ": ", StrView(engine.name), " draws a font from one texture (at most ",
                engine.one_page_side, 'x', engine.one_page_side, "); these glyphs need ",
                u64{pages.size()}, " pages of ", pages[0].width, 'x', pages[0].height,
                "; nothing was written"));
}
