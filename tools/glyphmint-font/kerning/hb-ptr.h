// Owners for HarfBuzz objects, released with their own destroy functions.
#pragma once

#include <hb.h>

#include <memory>

struct HbDelete {
  void operator()(hb_face_t *p) const { hb_face_destroy(p); }
  void operator()(hb_font_t *p) const { hb_font_destroy(p); }
  void operator()(hb_buffer_t *p) const { hb_buffer_destroy(p); }
  void operator()(hb_blob_t *p) const { hb_blob_destroy(p); }
  void operator()(hb_set_t *p) const { hb_set_destroy(p); }
  void operator()(hb_shape_plan_t *p) const { hb_shape_plan_destroy(p); }
};
template <typename T> using HbPtr = std::unique_ptr<T, HbDelete>;
