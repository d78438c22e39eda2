#include "tools/glyphmint/settings.h"

#include "core/ini.h"
#include "core/log.h"

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
  return settings;
}
