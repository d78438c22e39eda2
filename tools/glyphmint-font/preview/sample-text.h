// The text a preview page shows until its user types another.
#pragma once

#include "core/types.h"
#include "glyphmint/fnt.h"

#include <string>

/// Each of a few pangrams (Latin, Greek, Cyrillic) whose characters the font
/// all has, one per line; when it has none of them whole, the first 64 of
/// its code points that print (no controls, no line feed), each once.
[[nodiscard]] std::string default_sample_text(const gm_font &font);
