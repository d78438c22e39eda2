#include "tools/glyphmint/settings.h"

#include "core/ini.h"
#include "core/log.h"

namespace {

[[noreturn]] void malformed(StrView value, StrView expected) {
  throw Err(fmt("Cannot parse string: ", value, " (", expected, ")"));
}

RenderMode parse_render(IniProp prop) {
  if (!prop) return RenderMode::Coverage;
  const StrView value = prop.value();
  if (value == "coverage") return RenderMode::Coverage;
  if (value == "mono") return RenderMode::Mono;
  if (value == "sdf") return RenderMode::Sdf;
  if (value == "msdf") return RenderMode::Msdf;
  if (value == "mtsdf") return RenderMode::Mtsdf;
  if (value == "color") return RenderMode::Color;
  malformed(value, "render is coverage, mono, sdf, msdf, mtsdf or color");
}

bool is_distance_field(RenderMode render) {
  return render == RenderMode::Sdf || render == RenderMode::Msdf || render == RenderMode::Mtsdf;
}

i32 parse_spread(IniProp prop, RenderMode render) {
  if (!prop) return is_distance_field(render) ? k_default_spread : 0;
  const StrView value = prop.value();
  if (!is_distance_field(render)) malformed(value, "spread goes with render = sdf, msdf or mtsdf");
  i32 spread = 0;
  if (!StrParser<i32>::try_parse(value, spread) || spread < k_min_spread || spread > k_max_spread)
    malformed(value, "spread is an integer from 2 to 32");
  return spread;
}

List<Path> parse_fallbacks(IniProp prop, const Path &dir) {
  List<Path> fonts;
  if (!prop) return fonts;
  List<Str> names;
  if (!StrParser<List<Str>>::try_parse(prop.value(), names))
    malformed(prop.value(), "fallback is a list of font files: [Icons.ttf, CJK.ttc]");
  for (const Str &name : names) fonts.append(dir / name.view());
  return fonts;
}

bool parse_shaped(IniProp prop) {
  bool shaped = false;
  if (prop && !StrParser<bool>::try_parse(prop.value(), shaped))
    malformed(prop.value(), "shaped is true or false");
  return shaped;
}

} // namespace

Glyphmint read_settings(const Path &settings_file) {
  const Str text = settings_file.read_text();
  const Ini doc = Ini::parse(text);
  // The settings are the properties before the first header: section 0.
  const IniSection section = doc[0ul];
  if (!section) log_critical("No section Glyphmint in ", settings_file);

  Glyphmint settings;
  settings.font = settings_file.parent() / section["path"].value();
  settings.sizes = section["sizes"].value<List<int>>();
  settings.ranges = section["ranges"].value<List<CharRange>>();
  settings.chars = section["chars"].value<List<int>>();
  settings.render = parse_render(section["render"]);
  settings.spread = parse_spread(section["spread"], settings.render);
  settings.fallbacks = parse_fallbacks(section["fallback"], settings_file.parent());
  settings.shaped = parse_shaped(section["shaped"]);
  return settings;
}
