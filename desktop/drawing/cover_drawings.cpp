#include "desktop/drawing/cover_drawings.h"

namespace quorvane::desktop {

std::size_t CoverDrawings::draw(const CoverPlan& plan, const CoverPicture& picture, const CoverRect& rect,
                                const std::function<Canvas()>& canvas) {
  for (std::size_t i = 0; i < drawings_.size(); ++i) {
    if (drawings_[i].picture == picture) return i;
  }
  drawings_.push_back({picture, plan.image, {}});
  Canvas target = canvas();
  if (!target.pixels) return drawings_.size() - 1;
  auto work = [plan, rect, target] { drawCover(plan, rect, target.pixels, target.stride); };
  try {
    drawings_.back().thread = spawn_(work);
  } catch (...) {
    work();  // no thread (or no memory for one): slower, but the same picture
  }
  return drawings_.size() - 1;
}

void CoverDrawings::finish() {
  for (Drawing& d : drawings_) {
    if (d.thread.joinable()) d.thread.join();
  }
  drawings_.clear();
}

}  // namespace quorvane::desktop
