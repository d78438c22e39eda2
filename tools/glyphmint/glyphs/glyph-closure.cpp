#include "tools/glyphmint/glyphs/glyph-closure.h"

#include "tools/glyphmint/glyphs/harfbuzz-calls.h"

#include <memory>

namespace {

// Every feature that some HarfBuzz shaper turns on by default for horizontal
// text: the ones common to all scripts, then those of the Arabic, Indic,
// Khmer, Myanmar, Hangul and Universal shapers. Positioning features among
// them name no GSUB lookups and add nothing.
constexpr hb_tag_t k_default_features[] = {HB_TAG('r', 'v', 'r', 'n'),
                                           HB_TAG('l', 't', 'r', 'a'),
                                           HB_TAG('l', 't', 'r', 'm'),
                                           HB_TAG('r', 't', 'l', 'a'),
                                           HB_TAG('r', 't', 'l', 'm'),
                                           HB_TAG('f', 'r', 'a', 'c'),
                                           HB_TAG('n', 'u', 'm', 'r'),
                                           HB_TAG('d', 'n', 'o', 'm'),
                                           HB_TAG('r', 'a', 'n', 'd'),
                                           HB_TAG('a', 'b', 'v', 'm'),
                                           HB_TAG('b', 'l', 'w', 'm'),
                                           HB_TAG('c', 'c', 'm', 'p'),
                                           HB_TAG('l', 'o', 'c', 'l'),
                                           HB_TAG('m', 'a', 'r', 'k'),
                                           HB_TAG('m', 'k', 'm', 'k'),
                                           HB_TAG('r', 'l', 'i', 'g'),
                                           HB_TAG('c', 'a', 'l', 't'),
                                           HB_TAG('c', 'l', 'i', 'g'),
                                           HB_TAG('c', 'u', 'r', 's'),
                                           HB_TAG('d', 'i', 's', 't'),
                                           HB_TAG('k', 'e', 'r', 'n'),
                                           HB_TAG('l', 'i', 'g', 'a'),
                                           HB_TAG('r', 'c', 'l', 't'),
                                           HB_TAG('s', 't', 'c', 'h'),
                                           HB_TAG('i', 's', 'o', 'l'),
                                           HB_TAG('f', 'i', 'n', 'a'),
                                           HB_TAG('f', 'i', 'n', '2'),
                                           HB_TAG('f', 'i', 'n', '3'),
                                           HB_TAG('m', 'e', 'd', 'i'),
                                           HB_TAG('m', 'e', 'd', '2'),
                                           HB_TAG('i', 'n', 'i', 't'),
                                           HB_TAG('m', 's', 'e', 't'),
                                           HB_TAG('n', 'u', 'k', 't'),
                                           HB_TAG('a', 'k', 'h', 'n'),
                                           HB_TAG('r', 'p', 'h', 'f'),
                                           HB_TAG('r', 'k', 'r', 'f'),
                                           HB_TAG('p', 'r', 'e', 'f'),
                                           HB_TAG('b', 'l', 'w', 'f'),
                                           HB_TAG('a', 'b', 'v', 'f'),
                                           HB_TAG('h', 'a', 'l', 'f'),
                                           HB_TAG('p', 's', 't', 'f'),
                                           HB_TAG('v', 'a', 't', 'u'),
                                           HB_TAG('c', 'j', 'c', 't'),
                                           HB_TAG('p', 'r', 'e', 's'),
                                           HB_TAG('a', 'b', 'v', 's'),
                                           HB_TAG('b', 'l', 'w', 's'),
                                           HB_TAG('p', 's', 't', 's'),
                                           HB_TAG('h', 'a', 'l', 'n'),
                                           HB_TAG('c', 'f', 'a', 'r'),
                                           HB_TAG('l', 'j', 'm', 'o'),
                                           HB_TAG('v', 'j', 'm', 'o'),
                                           HB_TAG('t', 'j', 'm', 'o'),
                                           HB_TAG_NONE};

// Owns a HarfBuzz object, destroyed through the loaded library.
template <class Object> struct Destroy {
  void (*destroy)(Object *);
  void operator()(Object *object) const { destroy(object); }
};
using HbSet = std::unique_ptr<hb_set_t, Destroy<hb_set_t>>;

} // namespace

std::vector<GlyphId> substitution_closure(const std::vector<FT_Face> &faces,
                                          const std::vector<GlyphId> &reached) {
  std::vector<GlyphId> others;
  const HarfBuzzCalls &hb = harfbuzz_calls();
  const auto new_set = [&hb](hb_set_t *set) { return HbSet(set, {hb.set_destroy}); };
  for (u32 font = 0; font < faces.size(); ++font) {
    const HbSet glyphs = new_set(hb.set_create());
    for (const GlyphId &id : reached)
      if (id.font == font) hb.set_add(glyphs.get(), id.index);
    if (hb.set_is_empty(glyphs.get())) continue;
    const std::unique_ptr<hb_face_t, Destroy<hb_face_t>> face(
        hb.ft_face_create_referenced(faces[font]), {hb.face_destroy});
    const HbSet lookups = new_set(hb.set_create());
    // No scripts and no languages given: all of them, default systems too.
    hb.ot_layout_collect_lookups(face.get(), HB_OT_TAG_GSUB, nullptr, nullptr, k_default_features,
                                 lookups.get());
    const HbSet closure = new_set(hb.set_copy(glyphs.get()));
    hb.ot_layout_lookups_substitute_closure(face.get(), lookups.get(), closure.get());
    hb.set_subtract(closure.get(), glyphs.get());
    for (hb_codepoint_t g = HB_SET_VALUE_INVALID; hb.set_next(closure.get(), &g);)
      others.push_back({font, g});
  }
  return others;
}
