#include "tools/glyphmint/glyphs/harfbuzz-calls.h"

#include "core/fmt.h"

#include <dlfcn.h>

namespace {

// The name Debian's runtime package installs; the development package's
// unversioned link is not there on a user's machine.
constexpr const char *k_library = "libharfbuzz.so.0";

template <class Function> void find(void *library, const char *name, Function &function) {
  void *found = dlsym(library, name);
  if (found == nullptr) throw Err(fmt("Cannot find ", StrView(name), " in ", StrView(k_library)));
  function = reinterpret_cast<Function>(found);
}

HarfBuzzCalls open_harfbuzz() {
  void *library = dlopen(k_library, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) throw Err(fmt("Cannot load ", StrView(k_library), ": ", StrView(dlerror())));
  HarfBuzzCalls calls;
  find(library, "hb_set_create", calls.set_create);
  find(library, "hb_set_destroy", calls.set_destroy);
  find(library, "hb_set_add", calls.set_add);
  find(library, "hb_set_is_empty", calls.set_is_empty);
  find(library, "hb_set_copy", calls.set_copy);
  find(library, "hb_set_subtract", calls.set_subtract);
  find(library, "hb_set_next", calls.set_next);
  find(library, "hb_ft_face_create_referenced", calls.ft_face_create_referenced);
  find(library, "hb_face_destroy", calls.face_destroy);
  find(library, "hb_ot_layout_collect_lookups", calls.ot_layout_collect_lookups);
  find(library, "hb_ot_layout_lookups_substitute_closure",
       calls.ot_layout_lookups_substitute_closure);
  return calls;
}

} // namespace

const HarfBuzzCalls &harfbuzz_calls() {
  // A throw leaves it unset, and the next shaped bake tries again.
  static const HarfBuzzCalls calls = open_harfbuzz();
  return calls;
}
