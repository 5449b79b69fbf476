#include "platform/gfx/coverage.hpp"

#include <algorithm>

namespace platform::raster {

namespace {

bool before(const Span& a, const Span& b) { return a.y != b.y ? a.y < b.y : a.x0 < b.x0; }

}  // namespace

void Coverage::add_span(int y, int x0, int x1) {
  if (x1 <= x0) return;
  if (!spans_.empty()) {
    Span& last = spans_.back();
    if (last.y == y && x0 <= last.x1 && x1 >= last.x0) {  // touches the last span
      last.x0 = std::min(last.x0, x0);
      last.x1 = std::max(last.x1, x1);
      return;
    }
    if (normalized_ && !before(last, Span{y, x0, x1})) normalized_ = false;
  }
  spans_.push_back({y, x0, x1});
}

void Coverage::add_pixel(int x, int y) { add_span(y, x, x + 1); }

void Coverage::add(const Coverage& other) {
  for (const Span& s : other.spans_) add_span(s.y, s.x0, s.x1);
}

void Coverage::normalize() {
  if (normalized_) return;
  std::sort(spans_.begin(), spans_.end(), before);
  size_t out = 0;
  for (size_t i = 1; i < spans_.size(); ++i) {
    Span& cur = spans_[out];
    const Span& next = spans_[i];
    if (next.y == cur.y && next.x0 <= cur.x1)
      cur.x1 = std::max(cur.x1, next.x1);
    else
      spans_[++out] = next;
  }
  if (!spans_.empty()) spans_.resize(out + 1);
  normalized_ = true;
}

void Coverage::subtract(Coverage& other) {
  normalize();
  other.normalize();
  if (spans_.empty() || other.spans_.empty()) return;
  std::vector<Span> result;
  result.reserve(spans_.size());
  size_t j = 0;
  for (const Span& s : spans_) {
    // Spans of `other` wholly before s cannot touch any later span of this mask either.
    while (j < other.spans_.size() &&
           (other.spans_[j].y < s.y || (other.spans_[j].y == s.y && other.spans_[j].x1 <= s.x0)))
      ++j;
    int x = s.x0;
    for (size_t k = j; k < other.spans_.size() && other.spans_[k].y == s.y; ++k) {
      const Span& o = other.spans_[k];
      if (o.x0 >= s.x1) break;
      if (o.x1 <= x) continue;
      if (o.x0 > x) result.push_back({s.y, x, o.x0});
      x = std::max(x, o.x1);
    }
    if (x < s.x1) result.push_back({s.y, x, s.x1});
  }
  spans_ = std::move(result);
}

void Coverage::clip(const Rect& bounds) {
  size_t out = 0;
  for (const Span& s : spans_) {
    if (s.y < bounds.top || s.y >= bounds.bottom) continue;
    const int x0 = std::max(s.x0, bounds.left);
    const int x1 = std::min(s.x1, bounds.right);
    if (x0 < x1) spans_[out++] = {s.y, x0, x1};
  }
  spans_.resize(out);
}

void Coverage::dilate(int before_px, int after_px, const Rect& bounds) {
  std::vector<Span> source;
  source.swap(spans_);
  normalized_ = true;
  for (const Span& s : source) {
    const int x0 = std::max(s.x0 - before_px, bounds.left);
    const int x1 = std::min(s.x1 + after_px, bounds.right);
    if (x0 >= x1) continue;
    const int y0 = std::max(s.y - before_px, bounds.top);
    const int y1 = std::min(s.y + after_px + 1, bounds.bottom);
    for (int y = y0; y < y1; ++y) add_span(y, x0, x1);
  }
  normalize();
}

bool Coverage::contains(int x, int y) const {
  auto it = std::upper_bound(spans_.begin(), spans_.end(), Span{y, x, x + 1}, before);
  return it != spans_.begin() && std::prev(it)->y == y && x < std::prev(it)->x1;
}

long long Coverage::pixel_count() const {
  long long n = 0;
  for (const Span& s : spans_) n += s.x1 - s.x0;
  return n;
}

}  // namespace platform::raster
