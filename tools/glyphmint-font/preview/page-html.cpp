#include "tools/glyphmint-font/preview/page-html.h"

#include "shared/png.h"
#include "tools/glyphmint-font/baked/font-summary.h"
#include "tools/glyphmint-font/preview/page-assets.h"
#include "tools/glyphmint-font/preview/page-data.h"

namespace {

struct Slot {
  std::string_view marker;
  std::string_view content;
};

// The template with each @NAME@ marker replaced by its slot's content; what
// is put in is never searched for markers itself.
std::string filled(std::string_view page, const std::vector<Slot> &slots) {
  std::string out;
  for (size_t at = 0;;) {
    const size_t open = page.find('@', at);
    const size_t close = open == page.npos ? page.npos : page.find('@', open + 1);
    if (close == page.npos) return out.append(page.substr(at));
    const std::string_view marker = page.substr(open, close + 1 - open);
    const Slot *slot = nullptr;
    for (const Slot &s : slots)
      if (s.marker == marker) slot = &s;
    out.append(page.substr(at, open - at));
    out.append(slot ? slot->content : page.substr(open, close - open));
    at = slot ? close + 1 : close;
  }
}

std::string atlas_data_uri(const Image &atlas) {
  const Bytes png = encode_png(atlas);
  return "data:image/png;base64," + base64(png.view());
}

} // namespace

std::string html_escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::string base64(ArrView<const u8> bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.count + 2) / 3 * 4);
  for (u64 i = 0; i < bytes.count; i += 3) {
    const u64 left = bytes.count - i;
    const u32 group = u32(bytes.data[i]) << 16 | (left > 1 ? u32(bytes.data[i + 1]) << 8 : 0) |
                      (left > 2 ? u32(bytes.data[i + 2]) : 0);
    out += digits[group >> 18];
    out += digits[(group >> 12) & 63];
    out += left > 1 ? digits[(group >> 6) & 63] : '=';
    out += left > 2 ? digits[group & 63] : '=';
  }
  return out;
}

std::string preview_page(const LoadedFont &loaded, const std::vector<KerningPair> *pairs,
                         std::string_view sample, const TextLayout *shaped) {
  const Str summary = font_summary_text(loaded);
  const StrView name = loaded.fnt_path.name();
  const std::string title = html_escaped(std::string_view(name.data, name.len));
  const std::string script = std::string(k_font_layout_js) + std::string(k_png_decode_js) +
                             std::string(k_glyph_drawing_js) + std::string(k_page_js);
  const std::string data = page_data_json(loaded, pairs, sample, shaped);
  const std::string atlas = atlas_data_uri(loaded.atlas);
  const std::string summary_html = html_escaped(std::string_view(summary.data, summary.len));
  return filled(k_page_html, {{"@TITLE@", title},
                              {"@STYLE@", k_page_css},
                              {"@SUMMARY@", summary_html},
                              {"@ATLAS@", atlas},
                              {"@DATA@", data},
                              {"@SCRIPT@", script}});
}
