#include "tools/glyphmint-font/export/c-source.h"

#include "core/fmt.h"

#include <cstdint>

namespace {

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_ascii_digit(char c) {
  return c >= '0' && c <= '9';
}

// Enum constants are ints, and C99 guarantees no more than 32 bits of them.
constexpr u64 k_max_constant = INT32_MAX;

// The head of the header; every @ is the name. File names stay out of it: a
// name may hold bytes, such as */, that would break the comment.
const char k_head[] = R"(/* @: a font baked by glyphmint, written by glyphmint-font export.
 *
 *   @_fnt: its .fnt file, @_fnt_size bytes;
 *   @_atlas: its atlas, 8-bit pixels row by row from the top,
 *     @_atlas_width wide and @_atlas_height high.
 *
 * After including glyphmint/fnt.h and this file, a program reads it so:
 *
 *   gm_font font;
 *   gm_error e = gm_font_parse(&font, @_fnt, @_fnt_size, NULL);
 *   if (e == GM_OK)
 *     e = gm_font_check_atlas(&font, @_atlas_width,
 *                             @_atlas_height, NULL);
 *
 * and lays text out with gm_layout_begin and gm_layout_next, each glyph's
 * pixels being the rectangle at src_x, src_y of the atlas: the pixel at
 * column x, row y is @_atlas[y * @_atlas_width + x].
 * Everything is static, so any number of files may include it; each file
 * that uses an array holds a copy of it.
 */
#ifndef @_GLYPHMINT_H
#define @_GLYPHMINT_H

)";

// A multi-channel atlas's lines in the head, put in place of its one-channel
// ones, which stay as they are for fonts of one channel.
const char k_one_channel[] = " *   @_atlas: its atlas, 8-bit pixels row by row from the top,\n";
const char k_channels[] = " *   @_atlas: its atlas, @_atlas_channels bytes a pixel (R, G, B and A\n"
                          " *     when there are 4) row by row from the top,\n";
const char k_one_channel_pixel[] = "column x, row y is @_atlas[y * @_atlas_width + x].\n";
const char k_channels_pixel[] =
    "column x, row y starts at @_atlas[(y * @_atlas_width + x) * @_atlas_channels].\n";

std::string replaced(std::string text, std::string_view from, std::string_view to) {
  const size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string with_name(std::string_view text, std::string_view name) {
  std::string out;
  for (const char c : text) {
    if (c == '@')
      out += name;
    else
      out += c;
  }
  return out;
}

// A static array of the bytes in decimal, which C and C++ read alike and
// which is the shortest spelling of the atlas's many zeros.
void append_array(std::string &out, std::string_view name, const u8 *bytes, u64 count) {
  out += "static const unsigned char ";
  out += name;
  out += "[] = {\n";
  u64 line = 0;
  for (u64 i = 0; i < count; ++i) {
    const std::string value = std::to_string(bytes[i]) + ",";
    if (line + value.size() > 80) {
      out += '\n';
      line = 0;
    }
    out += value;
    line += value.size();
  }
  out += "\n};\n";
}

} // namespace

bool is_unreserved_c_name(std::string_view name) {
  if (name.empty() || !is_ascii_letter(name[0]) || name.back() == '_' ||
      name.find("__") != std::string_view::npos)
    return false;
  for (const char c : name)
    if (!is_ascii_letter(c) && !is_ascii_digit(c) && c != '_') return false;
  return true;
}

std::string default_c_name(const Path &out) {
  const StrView file = out.name();
  const u64 dot = file.find('.');
  const StrView stem = dot == StrView::npos ? file : file.sub(0, dot);
  std::string name;
  bool in_run = false;
  for (const char c : stem) {
    if (is_ascii_letter(c) || is_ascii_digit(c)) {
      if (in_run && !name.empty()) name += '_';
      name += c;
      in_run = false;
    } else {
      in_run = true;
    }
  }
  if (name.empty()) return "font";
  return is_ascii_digit(name[0]) ? "font_" + name : name;
}

std::string c_source(std::string_view name, const LoadedFont &loaded) {
  if (loaded.bytes.len > k_max_constant)
    throw Err(fmt(loaded.fnt_path, ": ", loaded.bytes.len,
                  " bytes, more than the c form's largest constant 2147483647"));
  const std::string n(name);
  const i32 channels = loaded.atlas.channels;
  std::string head = k_head;
  if (channels != 1)
    head =
        replaced(replaced(head, k_one_channel, k_channels), k_one_channel_pixel, k_channels_pixel);
  std::string out = with_name(head, name);
  out += "enum {\n  " + n + "_fnt_size = " + std::to_string(loaded.bytes.len) + ",\n  " + n +
         "_atlas_width = " + std::to_string(loaded.atlas.width) + ",\n  " + n +
         "_atlas_height = " + std::to_string(loaded.atlas.height);
  if (channels != 1) out += ",\n  " + n + "_atlas_channels = " + std::to_string(channels);
  out += "\n};\n\n";
  append_array(out, n + "_fnt", loaded.bytes.data, loaded.bytes.len);
  out += '\n';
  append_array(out, n + "_atlas", loaded.atlas.pixels.get(), loaded.atlas.byte_size());
  out += "\n#endif\n";
  return out;
}
