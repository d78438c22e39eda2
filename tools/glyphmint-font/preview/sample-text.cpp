#include "tools/glyphmint-font/preview/sample-text.h"

#include <string_view>

namespace {

constexpr std::string_view k_pangrams[] = {
    "The quick brown fox jumps over the lazy dog.",
    "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία.",
    "Съешь же ещё этих мягких французских булок, да выпей чаю.",
};

bool font_has_all(const gm_font &font, std::string_view text) {
  size_t at = 0;
  u32 c = 0;
  while (gm_utf8_decode(text.data(), text.size(), &at, &c))
    if (gm_font_find(&font, c) < 0) return false;
  return at == text.size();
}

bool prints(i64 code) {
  return code > 0x20 && !(code >= 0x7f && code < 0xa0) && !(code >= 0xd800 && code < 0xe000) &&
         code <= 0x10ffff;
}

void append_utf8(std::string &out, u32 c) {
  if (c < 0x80) {
    out += char(c);
    return;
  }
  static const u32 lead[] = {0, 0xc0, 0xe0, 0xf0};
  const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  out += char(lead[tail] | (c >> (6 * u32(tail))));
  for (int k = tail - 1; k >= 0; --k) out += char(0x80u | ((c >> (6 * u32(k))) & 0x3fu));
}

} // namespace

std::string default_sample_text(const gm_font &font) {
  std::string text;
  for (const std::string_view pangram : k_pangrams)
    if (font_has_all(font, pangram)) {
      if (!text.empty()) text += '\n';
      text += pangram;
    }
  if (!text.empty()) return text;
  i64 last = -1;
  int taken = 0;
  for (size_t i = 0; i < font.glyph_count && taken < 64; ++i) {
    const i64 code = gm_font_glyph(&font, i).code;
    if (code == last || !prints(code)) continue;
    last = code;
    append_utf8(text, u32(code));
    ++taken;
  }
  return text;
}
