#include "font/kerning.h"

#include "core/fmt.h"

std::vector<KerningPair> kerning_pairs(const Path &font_file, const gm_font &) {
  throw Err(fmt(font_file, ": kerning is not available yet"));
}
