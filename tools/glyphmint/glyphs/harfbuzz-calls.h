// HarfBuzz, opened the first time a shaped bake needs it instead of linked:
// most bakes shape nothing, and loading HarfBuzz with the libraries it needs
// (GLib, PCRE2, Graphite) costs every run about a millisecond before main.
#pragma once

#include <hb-ft.h>
#include <hb-ot.h>

/// The HarfBuzz functions the substitution closure calls, typed as HarfBuzz
/// declares them.
struct HarfBuzzCalls {
  decltype(&hb_set_create) set_create;
  decltype(&hb_set_destroy) set_destroy;
  decltype(&hb_set_add) set_add;
  decltype(&hb_set_is_empty) set_is_empty;
  decltype(&hb_set_copy) set_copy;
  decltype(&hb_set_subtract) set_subtract;
  decltype(&hb_set_next) set_next;
  decltype(&hb_ft_face_create_referenced) ft_face_create_referenced;
  decltype(&hb_face_destroy) face_destroy;
  decltype(&hb_ot_layout_collect_lookups) ot_layout_collect_lookups;
  decltype(&hb_ot_layout_lookups_substitute_closure) ot_layout_lookups_substitute_closure;
};

/// Opens HarfBuzz once per process and keeps it open. Throws Err naming the
/// library or the function it could not find.
[[nodiscard]] const HarfBuzzCalls &harfbuzz_calls();
