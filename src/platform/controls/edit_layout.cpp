#include "platform/controls/edit_layout.hpp"

#include <algorithm>
#include <cstdlib>

namespace platform::edit_layout {
namespace {

bool blank(char16_t c) { return c == u' ' || c == u'\t'; }
bool high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The position lies between the two units of one character.
bool splits(std::u16string_view text, int32_t position) {
  if (position <= 0 || position >= static_cast<int32_t>(text.size())) return false;
  const char16_t before = text[position - 1], after = text[position];
  return (before == u'\r' && after == u'\n') || (high_surrogate(before) && low_surrogate(after));
}

int32_t width_of(const Advance& advance, int32_t from, int32_t to) {
  int32_t w = 0;
  for (int32_t i = from; i < to; ++i) w += advance(i);
  return w;
}

// Where the row starting at `pos` of the line [pos, end) is cut, given `fit`, the first
// position that does not fit the width.
int32_t cut_at(std::u16string_view text, int32_t pos, int32_t end, int32_t fit) {
  if (blank(text[fit])) {  // the blanks at the cut hang at the end of the row
    while (fit < end && blank(text[fit])) ++fit;
    return fit;
  }
  int32_t word = fit;
  while (word > pos && !blank(text[word - 1])) --word;
  if (word > pos) return word;
  // A word wider than the row: break it, keeping one character at least and pairs whole.
  int32_t cut = std::max(fit, pos + 1);
  if (cut < end && low_surrogate(text[cut])) cut = cut - 1 > pos ? cut - 1 : cut + 1;
  return cut;
}

// Appends the rows of the line [start, end).
void wrap_line(std::u16string_view text,
               const Advance& advance,
               int32_t wrap_width,
               int32_t start,
               int32_t end,
               std::vector<Row>& rows) {
  int32_t pos = start;
  for (;;) {
    int32_t w = 0, fit = pos;
    while (fit < end && (wrap_width <= 0 || w + advance(fit) <= wrap_width)) w += advance(fit++);
    if (fit == end) {
      rows.push_back(Row{pos, end, false, w});
      return;
    }
    const int32_t cut = cut_at(text, pos, end, fit);
    if (cut == end) {  // only blanks were left: they hang at the end of the line
      rows.push_back(Row{pos, end, false, width_of(advance, pos, end)});
      return;
    }
    rows.push_back(Row{pos, cut, true, width_of(advance, pos, cut)});
    pos = cut;
  }
}

}  // namespace

int32_t break_at(std::u16string_view text, int32_t position) {
  if (position < 0 || position >= static_cast<int32_t>(text.size()) || splits(text, position))
    return 0;
  if (text[position] == u'\n') return 1;
  if (text[position] != u'\r') return 0;
  return position + 1 < static_cast<int32_t>(text.size()) && text[position + 1] == u'\n' ? 2 : 1;
}

int32_t snap(std::u16string_view text, int32_t position, bool forward) {
  if (!splits(text, position)) return position;
  return forward ? position + 1 : position - 1;
}

Advance font_advance(const Font& font, std::u16string_view text) {
  return [&font, text](int32_t i) -> int32_t {
    if (splits(text, i)) return 0;  // the second unit of a pair or of "\r\n"
    const char16_t c = text[i];
    if (break_at(text, i) > 0) return font.glyph(U' ').advance;
    if (high_surrogate(c) && splits(text, i + 1))
      return font.glyph(0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00)).advance;
    return font.glyph(c).advance;
  };
}

std::u16string drawn(std::u16string_view text, int32_t from, int32_t to) {
  std::u16string out;
  out.reserve(static_cast<size_t>(std::max(0, to - from)));
  for (int32_t i = from; i < to; ++i) {
    if (text[i] != u'\r' && text[i] != u'\n')
      out.push_back(text[i]);
    else if (!splits(text, i))  // the '\n' of "\r\n" adds nothing to its blank
      out.push_back(u' ');
  }
  return out;
}

std::vector<Row> layout(std::u16string_view text,
                        const Advance& advance,
                        int32_t wrap_width,
                        bool lines) {
  std::vector<Row> rows;
  const int32_t n = static_cast<int32_t>(text.size());
  if (!lines) {
    wrap_line(text, advance, 0, 0, n, rows);
    return rows;
  }
  int32_t start = 0;
  for (int32_t i = 0;;) {
    const int32_t cut = break_at(text, i);
    if (i < n && cut == 0) {
      ++i;
      continue;
    }
    wrap_line(text, advance, wrap_width, start, i, rows);
    if (i >= n) return rows;
    i += cut;
    start = i;
  }
}

int32_t row_of(const std::vector<Row>& rows, int32_t position, bool at_row_end) {
  const auto after = std::upper_bound(
      rows.begin(), rows.end(), position, [](int32_t p, const Row& r) { return p < r.start; });
  int32_t r = std::max<int32_t>(0, static_cast<int32_t>(after - rows.begin()) - 1);
  if (at_row_end && r > 0 && rows[r - 1].soft && rows[r - 1].end == position) --r;
  return r;
}

std::vector<int32_t> offsets(const Row& row, const Advance& advance) {
  std::vector<int32_t> x(static_cast<size_t>(row.end - row.start) + 1, 0);
  for (int32_t i = row.start; i < row.end; ++i)
    x[i - row.start + 1] = x[i - row.start] + advance(i);
  return x;
}

int32_t nearest(const Row& row, const Advance& advance, int32_t x, bool& past_end) {
  const std::vector<int32_t> o = offsets(row, advance);
  int32_t best = 0;
  for (int32_t i = 1; i < static_cast<int32_t>(o.size()); ++i) {
    const int32_t d = std::abs(x - o[i]), best_d = std::abs(x - o[best]);
    // Of equal offsets the later wins: a zero advance is the second half of a pair.
    if (d < best_d || (d == best_d && o[i] == o[best])) best = i;
  }
  past_end = row.soft && row.start + best == row.end;
  return row.start + best;
}

}  // namespace platform::edit_layout
