#include "platform/gfx/pen.hpp"

#include <algorithm>

namespace platform {

PenRef Pen::create(int width, Color color, std::vector<int> dashes) {
  auto pen = std::shared_ptr<Pen>(new Pen());
  pen->null_ = false;
  pen->width_ = std::clamp(width, 1, kMaxWidth);
  pen->color_ = color;
  if (dashes.empty()) {
    pen->solid_ = true;
    return pen;
  }
  // Dash i starts at the sum of the entries before it and, with its caps, inks d + 1 steps;
  // a run that passes the end of the period wraps to its start.
  int64_t offset = 0;
  std::vector<OnRun> runs;
  for (size_t i = 0; i < dashes.size(); ++i) {
    const int64_t len = std::max(dashes[i], 0);
    if (i % 2 == 0) runs.push_back({offset, offset + len});
    offset += len;
  }
  const int64_t period = offset;
  pen->period_ = period;
  if (period == 0) return pen;  // no length at all: nothing is inked
  std::vector<OnRun> split;
  for (const OnRun& r : runs) {
    if (r.last - r.first + 1 >= period) {
      split.push_back({0, period - 1});
    } else if (r.last >= period) {
      split.push_back({r.first, period - 1});
      split.push_back({0, r.last - period});
    } else {
      split.push_back(r);
    }
  }
  std::sort(
      split.begin(), split.end(), [](const OnRun& a, const OnRun& b) { return a.first < b.first; });
  for (const OnRun& r : split) {
    if (!pen->on_.empty() && r.first <= pen->on_.back().last + 1)
      pen->on_.back().last = std::max(pen->on_.back().last, r.last);
    else
      pen->on_.push_back(r);
  }
  pen->solid_ = pen->on_.size() == 1 && pen->on_[0].first == 0 && pen->on_[0].last == period - 1;
  return pen;
}

PenRef Pen::null() { return std::shared_ptr<Pen>(new Pen()); }

bool Pen::inks(int64_t step) const {
  if (null_) return false;
  if (solid_) return true;
  if (period_ == 0) return false;
  const int64_t p = step % period_;
  auto it = std::upper_bound(
      on_.begin(), on_.end(), p, [](int64_t v, const OnRun& r) { return v < r.first; });
  return it != on_.begin() && p <= std::prev(it)->last;
}

PenRef stock_white_pen() {
  static const PenRef pen = Pen::create(1, 0xFFFFFFu);
  return pen;
}

PenRef stock_black_pen() {
  static const PenRef pen = Pen::create(1, 0u);
  return pen;
}

PenRef stock_null_pen() {
  static const PenRef pen = Pen::null();
  return pen;
}

}  // namespace platform
