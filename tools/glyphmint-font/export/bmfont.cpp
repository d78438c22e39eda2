#include "tools/glyphmint-font/export/bmfont.h"

#include "core/fmt.h"
#include "glyphmint/fnt.h"

#include <algorithm>
#include <cstdint>

namespace {

// One key=value of a record. The text, XML and JSON forms print the same
// records from the same field lists, which keeps the reference's order in all
// three.
struct Field {
  enum Kind : u8 { Int, Text, List };
  const char *name;
  Kind kind;
  i64 value;
  StrView text;
  const i64 *list;
  u64 list_len;
};

Field int_field(const char *name, i64 value) {
  return {name, Field::Int, value, {}, nullptr, 0};
}
Field text_field(const char *name, StrView text) {
  return {name, Field::Text, 0, text, nullptr, 0};
}
template <u64 N> Field list_field(const char *name, const i64 (&list)[N]) {
  return {name, Field::List, 0, {}, list, N};
}

std::vector<Field> info_fields(const BmInfo &info) {
  return {text_field("face", info.face.view()),
          int_field("size", info.size),
          int_field("bold", info.bold),
          int_field("italic", info.italic),
          text_field("charset", ""),
          int_field("unicode", info.unicode),
          int_field("stretchH", info.stretch_h),
          int_field("smooth", info.smooth),
          int_field("aa", info.aa),
          list_field("padding", info.padding),
          list_field("spacing", info.spacing),
          int_field("outline", info.outline)};
}

std::vector<Field> common_fields(const BmCommon &c, u64 pages) {
  return {int_field("lineHeight", c.line_height), int_field("base", c.base),
          int_field("scaleW", c.scale_w),         int_field("scaleH", c.scale_h),
          int_field("pages", i64(pages)),         int_field("packed", 0),
          int_field("alphaChnl", c.alpha_chnl),   int_field("redChnl", c.red_chnl),
          int_field("greenChnl", c.green_chnl),   int_field("blueChnl", c.blue_chnl)};
}

std::vector<Field> char_fields(const BmChar &c) {
  return {int_field("id", c.id),
          int_field("x", c.x),
          int_field("y", c.y),
          int_field("width", c.width),
          int_field("height", c.height),
          int_field("xoffset", c.xoffset),
          int_field("yoffset", c.yoffset),
          int_field("xadvance", c.xadvance),
          int_field("page", c.page),
          int_field("chnl", c.chnl)};
}

// A shaped bake's char in the JSON form, found by its glyph as well.
std::vector<Field> shaped_char_fields(const BmChar &c) {
  std::vector<Field> fields = char_fields(c);
  fields.push_back(int_field("glyph", c.glyph));
  fields.push_back(int_field("font", c.font));
  return fields;
}

// A glyph no code point reaches: a char without its id.
std::vector<Field> glyph_fields(const BmChar &c) {
  std::vector<Field> fields = shaped_char_fields(c);
  fields.erase(fields.begin());
  return fields;
}

std::vector<Field> kerning_fields(const KerningPair &k) {
  return {int_field("first", k.first), int_field("second", k.second),
          int_field("amount", k.amount)};
}

// ------------------------------------------------------------------- names

enum class NameRule { Text, Xml, Binary, Json };

bool is_control(u8 c) {
  return c < 0x20 || c == 0x7f;
}

// Loaders read names as UTF-8 text, so every form needs it; beyond that each
// form has bytes it cannot carry at all: the text form has no escapes, XML 1.0
// no control characters but tab and line breaks, the binary form ends names
// at a NUL.
void check_name(StrView what, StrView name, NameRule rule, StrView form) {
  const auto refuse = [&](StrView why) {
    throw Err(fmt("the ", what, " ", why, ", which the ", form, " form cannot carry"));
  };
  for (u64 at = 0; at < name.len;) {
    u32 code_point = 0;
    if (!gm_utf8_decode(name.data, name.len, &at, &code_point)) refuse("is not valid UTF-8");
  }
  for (const char ch : name) {
    const u8 c = static_cast<u8>(ch);
    if (rule == NameRule::Text && (c == '"' || is_control(c)))
      refuse("holds a double quote or a control character");
    if (rule == NameRule::Xml && c < 0x20 && c != '\t' && c != '\n' && c != '\r')
      refuse("holds a control character");
    if (rule == NameRule::Binary && c == 0) refuse("holds a NUL byte");
  }
}

void check_names(const BmFont &font, NameRule rule, StrView form) {
  check_name("face name", font.info.face.view(), rule, form);
  for (const Str &page : font.pages) check_name("page file name", page.view(), rule, form);
}

void append_xml_escaped(StrBuilder &b, StrView text) {
  for (const char c : text) {
    switch (c) {
    case '&':
      b.append("&amp;");
      break;
    case '<':
      b.append("&lt;");
      break;
    case '>':
      b.append("&gt;");
      break;
    case '"':
      b.append("&quot;");
      break;
    case '\'':
      b.append("&apos;");
      break;
    case '\t':
    case '\n':
    case '\r':
      // A raw one would be read back as a blank: attribute values are normalised.
      b.appendf("&#%d;", c);
      break;
    default:
      b.append(c);
    }
  }
}

void append_json_escaped(StrBuilder &b, StrView text) {
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      b.append('\\');
      b.append(c);
    } else if (static_cast<u8>(c) < 0x20) {
      b.appendf("\\u%04x", static_cast<unsigned>(c));
    } else {
      b.append(c);
    }
  }
}

void append_list(StrBuilder &b, const Field &f, StrView separator) {
  for (u64 i = 0; i < f.list_len; ++i) {
    if (i != 0) b.append(separator);
    fmt(b, f.list[i]);
  }
}

// ------------------------------------------------------------ text and XML

void text_record(StrBuilder &b, StrView tag, const std::vector<Field> &fields) {
  b.append(tag);
  for (const Field &f : fields) {
    fmt(b, ' ', StrView(f.name), '=');
    if (f.kind == Field::Int) fmt(b, f.value);
    if (f.kind == Field::Text) fmt(b, '"', f.text, '"');
    if (f.kind == Field::List) append_list(b, f, ",");
  }
  b.append('\n');
}

Str text_form(const BmFont &font, ArrView<const KerningPair> kernings) {
  check_names(font, NameRule::Text, "text");
  StrBuilder b;
  text_record(b, "info", info_fields(font.info));
  text_record(b, "common", common_fields(font.common, font.pages.size()));
  for (u64 id = 0; id < font.pages.size(); ++id)
    fmt(b, "page id=", id, " file=\"", font.pages[id].view(), "\"\n");
  fmt(b, "chars count=", u64{font.chars.size()}, '\n');
  for (const BmChar &c : font.chars) text_record(b, "char", char_fields(c));
  fmt(b, "kernings count=", kernings.count, '\n');
  for (const KerningPair &k : kernings) text_record(b, "kerning", kerning_fields(k));
  return b.to_string();
}

void xml_element(StrBuilder &b, StrView indent, StrView tag, const std::vector<Field> &fields) {
  fmt(b, indent, '<', tag);
  for (const Field &f : fields) {
    fmt(b, ' ', StrView(f.name), "=\"");
    if (f.kind == Field::Int) fmt(b, f.value);
    if (f.kind == Field::Text) append_xml_escaped(b, f.text);
    if (f.kind == Field::List) append_list(b, f, ",");
    b.append('"');
  }
  b.append("/>\n");
}

Str xml_form(const BmFont &font, ArrView<const KerningPair> kernings) {
  check_names(font, NameRule::Xml, "XML");
  StrBuilder b;
  b.append("<?xml version=\"1.0\"?>\n<font>\n");
  xml_element(b, "  ", "info", info_fields(font.info));
  xml_element(b, "  ", "common", common_fields(font.common, font.pages.size()));
  if (font.distance_range != 0)
    fmt(b, "  <distanceField fieldType=\"", StrView(font.field_type), "\" distanceRange=\"",
        font.distance_range, "\"/>\n");
  b.append("  <pages>\n");
  for (u64 id = 0; id < font.pages.size(); ++id) {
    fmt(b, "    <page id=\"", id, "\" file=\"");
    append_xml_escaped(b, font.pages[id].view());
    b.append("\"/>\n");
  }
  b.append("  </pages>\n");
  fmt(b, "  <chars count=\"", u64{font.chars.size()}, '"');
  b.append(font.chars.empty() ? "/>\n" : ">\n");
  for (const BmChar &c : font.chars) xml_element(b, "    ", "char", char_fields(c));
  if (!font.chars.empty()) b.append("  </chars>\n");
  fmt(b, "  <kernings count=\"", kernings.count, '"');
  b.append(kernings.count == 0 ? "/>\n" : ">\n");
  for (const KerningPair &k : kernings) xml_element(b, "    ", "kerning", kerning_fields(k));
  if (kernings.count != 0) b.append("  </kernings>\n");
  b.append("</font>\n");
  return b.to_string();
}

// -------------------------------------------------------------------- JSON

void json_object(StrBuilder &b, const std::vector<Field> &fields) {
  b.append('{');
  for (u64 i = 0; i < fields.size(); ++i) {
    const Field &f = fields[i];
    fmt(b, StrView(i == 0 ? "\"" : ", \""), StrView(f.name), "\": ");
    if (f.kind == Field::Int) fmt(b, f.value);
    if (f.kind == Field::Text) {
      b.append('"');
      append_json_escaped(b, f.text);
      b.append('"');
    }
    if (f.kind == Field::List) {
      b.append('[');
      append_list(b, f, ", ");
      b.append(']');
    }
  }
  b.append('}');
}

template <typename T, typename Fields>
void json_array(StrBuilder &b, StrView key, ArrView<const T> items, Fields fields_of) {
  fmt(b, "  \"", key, "\": [");
  for (u64 i = 0; i < items.count; ++i) {
    b.append(i == 0 ? "\n    " : ",\n    ");
    json_object(b, fields_of(items[i]));
  }
  b.append(items.count == 0 ? "],\n" : "\n  ],\n");
}

Str json_form(const BmFont &font, ArrView<const KerningPair> kernings) {
  check_names(font, NameRule::Json, "JSON");
  StrBuilder b;
  b.append("{\n  \"pages\": [");
  for (u64 id = 0; id < font.pages.size(); ++id) {
    b.append(id == 0 ? "\"" : ", \"");
    append_json_escaped(b, font.pages[id].view());
    b.append('"');
  }
  b.append("],\n");
  const ArrView<const BmChar> chars(font.chars.data(), font.chars.size());
  json_array(b, "chars", chars, font.shaped ? shaped_char_fields : char_fields);
  if (font.shaped)
    json_array(b, "glyphs", ArrView<const BmChar>(font.glyphs.data(), font.glyphs.size()),
               glyph_fields);
  json_array(b, "kernings", kernings, kerning_fields);
  b.append("  \"info\": ");
  json_object(b, info_fields(font.info));
  b.append(",\n  \"common\": ");
  json_object(b, common_fields(font.common, font.pages.size()));
  if (font.distance_range != 0)
    fmt(b, ",\n  \"distanceField\": {\"fieldType\": \"", StrView(font.field_type),
        "\", \"distanceRange\": ", font.distance_range, '}');
  b.append("\n}\n");
  return b.to_string();
}

// ------------------------------------------------------------------ binary

// The binary form's fields are narrower than the description's; a value is
// checked against its field before it is stored, never wrapped.
struct BinaryWriter {
  StrBuilder b;
  Str where; // the block or record being written, for messages: "code point 65: "

  i64 fit(i64 value, i64 min, i64 max, const char *type, const char *field) const {
    if (value >= min && value <= max) return value;
    throw Err(fmt(where, StrView(field), " ", value, " does not fit the binary form's ",
                  StrView(type), " field (", min, "..", max, ")"));
  }
  void le(u64 value, int bytes) {
    for (int i = 0; i < bytes; ++i) b.append(static_cast<char>((value >> (8 * i)) & 0xffu));
  }
  void u8_(i64 v, const char *field) { le(u64(fit(v, 0, 0xff, "u8", field)), 1); }
  void u16_(i64 v, const char *field) { le(u64(fit(v, 0, 0xffff, "u16", field)), 2); }
  void i16_(i64 v, const char *field) { le(u64(fit(v, -0x8000, 0x7fff, "i16", field)), 2); }
  void u32_(i64 v, const char *field) { le(u64(fit(v, 0, 0xffffffff, "u32", field)), 4); }
  // A block's header. Its size is checked under the block's own name: the
  // record written last has nothing to do with it.
  void block(u8 type, const char *name, u64 payload) {
    where = fmt(StrView(name), " block: ");
    le(type, 1);
    u32_(i64(std::min(payload, u64(INT64_MAX))), "size");
    where = Str();
  }
  void name(StrView text) {
    b.append(text);
    b.append('\0');
  }
};

// The info and common blocks: how the font was made and its line.
void binary_info_and_common(BinaryWriter &w, const BmFont &font) {
  const BmInfo &info = font.info;
  w.block(1, "info", 14 + font.info.face.len + 1);
  w.i16_(info.size, "size");
  // Flag bits count from the most significant one.
  w.le(u64{info.smooth} << 7 | u64{info.unicode} << 6 | u64{info.italic} << 5 | u64{info.bold} << 4,
       1);
  w.le(0, 1); // charSet: none, the ids are code points
  w.u16_(info.stretch_h, "stretchH");
  w.u8_(info.aa, "aa");
  for (const i64 p : info.padding) w.u8_(p, "padding");
  for (const i64 s : info.spacing) w.u8_(s, "spacing");
  w.u8_(info.outline, "outline");
  w.name(info.face.view());

  const BmCommon &c = font.common;
  w.block(2, "common", 15);
  w.u16_(c.line_height, "lineHeight");
  w.u16_(c.base, "base");
  w.u16_(c.scale_w, "scaleW");
  w.u16_(c.scale_h, "scaleH");
  w.u16_(i64(font.pages.size()), "pages");
  w.le(0, 1); // not packed
  w.u8_(c.alpha_chnl, "alphaChnl");
  w.u8_(c.red_chnl, "redChnl");
  w.u8_(c.green_chnl, "greenChnl");
  w.u8_(c.blue_chnl, "blueChnl");
}

Str binary_form(const BmFont &font, ArrView<const KerningPair> kernings) {
  check_names(font, NameRule::Binary, "binary");
  BinaryWriter w;
  w.b.append("BMF\x03");
  binary_info_and_common(w, font);

  // Readers split the block by the first name's length.
  const u64 name_len = font.pages.empty() ? 0 : font.pages[0].len;
  for (const Str &page : font.pages)
    if (page.len != name_len)
      throw Err("the page file names differ in length, which the binary form cannot carry");
  w.block(3, "pages", font.pages.size() * (name_len + 1));
  for (const Str &page : font.pages) w.name(page.view());

  w.block(4, "chars", 20 * u64{font.chars.size()});
  for (const BmChar &ch : font.chars) {
    w.where = fmt("code point ", ch.id, ": ");
    w.le(ch.id, 4);
    w.u16_(ch.x, "x");
    w.u16_(ch.y, "y");
    w.u16_(ch.width, "width");
    w.u16_(ch.height, "height");
    w.i16_(ch.xoffset, "xoffset");
    w.i16_(ch.yoffset, "yoffset");
    w.i16_(ch.xadvance, "xadvance");
    w.u8_(ch.page, "page");
    w.u8_(ch.chnl, "chnl");
  }

  if (kernings.count != 0) {
    w.block(5, "kerning pairs", 10 * kernings.count);
    for (const KerningPair &k : kernings) {
      w.where = fmt("kerning pair ", k.first, ", ", k.second, ": ");
      w.le(k.first, 4);
      w.le(k.second, 4);
      w.i16_(k.amount, "amount");
    }
  }
  return w.b.to_string();
}

} // namespace

Str bmfont_bytes(const BmFont &font, ArrView<const KerningPair> kernings, BmForm form) {
  switch (form) {
  case BmForm::Text:
    return text_form(font, kernings);
  case BmForm::Xml:
    return xml_form(font, kernings);
  case BmForm::Binary:
    return binary_form(font, kernings);
  case BmForm::Json:
    return json_form(font, kernings);
  }
  throw Err(fmt("unknown BMFont form ", u32(form)));
}

StrView bmfont_form_name(BmForm form) {
  switch (form) {
  case BmForm::Text:
    return "text";
  case BmForm::Xml:
    return "xml";
  case BmForm::Binary:
    return "binary";
  case BmForm::Json:
    return "json";
  }
  return "unknown";
}

bool try_parse_bmfont_form(StrView name, BmForm &out) {
  for (const BmForm form : {BmForm::Text, BmForm::Xml, BmForm::Binary, BmForm::Json})
    if (name == bmfont_form_name(form)) {
      out = form;
      return true;
    }
  return false;
}
