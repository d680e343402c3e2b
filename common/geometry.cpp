#include "common/geometry.h"

namespace quorvane {

Json boundsJson(const Rect& r) {
  return Json{{"x", jsonNumber(r.minX())},
              {"y", jsonNumber(r.minY())},
              {"width", jsonNumber(r.w())},
              {"height", jsonNumber(r.h())}};
}

}  // namespace quorvane
