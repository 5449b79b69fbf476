#include "platform/gfx/coverage.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

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

// A square is a row's span widened by before + after pixels and repeated on the rows from
// `before` above to `after` below. Each output row is the union of the widened spans of the
// source rows within reach of it, so the mask never holds more than the rows it ends with,
// however many pixels the squares cover.
void Coverage::dilate(int before_px, int after_px, const Rect& bounds) {
  normalize();
  std::vector<Span> wide;
  wide.reserve(spans_.size());
  std::vector<size_t> row_starts;  // index into `wide` where each source row begins
  for (const Span& s : spans_) {
    const int x0 = std::max(s.x0 - before_px, bounds.left);
    const int x1 = std::min(s.x1 + after_px, bounds.right);
    if (x0 >= x1 || s.y + after_px < bounds.top || s.y - before_px >= bounds.bottom) continue;
    if (!wide.empty() && wide.back().y == s.y && x0 <= wide.back().x1) {
      wide.back().x1 = std::max(wide.back().x1, x1);
      continue;
    }
    if (wide.empty() || wide.back().y != s.y) row_starts.push_back(wide.size());
    wide.push_back({s.y, x0, x1});
  }
  row_starts.push_back(wide.size());
  spans_.clear();
  normalized_ = true;
  if (wide.empty()) return;
  const size_t rows = row_starts.size() - 1;
  const auto row_y = [&](size_t r) { return wide[row_starts[r]].y; };
  std::vector<Span> gathered;
  size_t lo = 0, hi = 0;  // source rows lo..hi-1 reach the current output row
  const int64_t first = std::max<int64_t>(int64_t{row_y(0)} - before_px, bounds.top);
  const int64_t last = std::min<int64_t>(int64_t{row_y(rows - 1)} + after_px, bounds.bottom - 1);
  for (int64_t y = first; y <= last; ++y) {
    while (hi < rows && row_y(hi) <= y + before_px) ++hi;
    while (lo < hi && row_y(lo) + after_px < y) ++lo;
    if (lo == hi) {  // no source row within reach: go on at the next one's first output row
      if (hi == rows) break;
      y = std::max<int64_t>(y, int64_t{row_y(hi)} - before_px - 1);
      continue;
    }
    gathered.assign(wide.begin() + static_cast<ptrdiff_t>(row_starts[lo]),
                    wide.begin() + static_cast<ptrdiff_t>(row_starts[hi]));
    if (hi - lo > 1)
      std::sort(gathered.begin(), gathered.end(), [](const Span& a, const Span& b) {
        return a.x0 < b.x0;
      });
    for (const Span& g : gathered) add_span(static_cast<int>(y), g.x0, g.x1);
  }
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
