// The standard bake workload that the whole-bake and stage benchmarks share:
// Debian's DejaVu Sans at five sizes over Latin, Greek and Cyrillic. The trap:
// every code point listed must exist in the font, or the bake stops at once,
// so the Greek block skips the code points DejaVu Sans lacks.
#pragma once

#include <string>

namespace workload {

/// The font file of Debian's fonts-dejavu-core; the benchmarks copy it.
inline constexpr const char *k_font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
/// The copied font's name; the outputs are DejaVuSans-<size>.png and .fnt.
inline constexpr const char *k_font_name = "DejaVuSans.ttf";
inline constexpr const char *k_base_name = "DejaVuSans";
inline constexpr const char *k_settings_name = "DejaVuSans.glyphmint.ini";

inline constexpr int k_sizes[] = {12, 16, 24, 32, 48};

struct Range {
  int first;
  int last;
};

/// 32-126, 160-383, 880-1023 and 1024-1279, less 888-889, 896-899, 907, 909
/// and 930; ascending, so the font file's records arrive already sorted.
inline constexpr Range k_ranges[] = {{32, 126},  {160, 383}, {880, 887},  {890, 895},  {900, 906},
                                     {908, 908}, {910, 929}, {931, 1023}, {1024, 1279}};

namespace details {
// Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about
// "literal" + std::string temporaries.
inline std::string join_sizes(const char *separator) {
  std::string s;
  for (int size : k_sizes) {
    if (!s.empty()) s += separator;
    s += std::to_string(size);
  }
  return s;
}

inline std::string join_ranges(const char *separator) {
  std::string s;
  for (const Range &r : k_ranges) {
    if (!s.empty()) s += separator;
    s += std::to_string(r.first);
    s += '-';
    s += std::to_string(r.last);
  }
  return s;
}
} // namespace details

/// "12,16,24,32,48": the size list as the floor program takes it.
inline std::string sizes_arg() {
  return details::join_sizes(",");
}

/// "32-126,160-383,...": the range list as the floor program takes it.
inline std::string ranges_arg() {
  return details::join_ranges(",");
}

/// The glyphmint settings file of the workload.
inline std::string settings_text() {
  std::string s = "path = ";
  s += k_font_name;
  s += "\nsizes = [";
  s += details::join_sizes(", ");
  s += "]\nranges = [";
  s += details::join_ranges(", ");
  s += "]\nchars = []\n";
  return s;
}

} // namespace workload
