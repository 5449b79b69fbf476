#include "platform/windowed/file_listing.hpp"

#include <algorithm>
#include <system_error>

#include "platform/text/text_convert.hpp"

namespace platform::file_listing {
namespace {

namespace fs = std::filesystem;

// The code points of UTF-8 text (malformed bytes become U+FFFD), so that '?' stands for one
// character however many bytes it takes.
std::u32string code_points(std::string_view utf8) {
  const std::u16string units = utf8_to_utf16(utf8);
  std::u32string out;
  out.reserve(units.size());
  for (size_t pos = 0; pos < units.size();) out.push_back(next_code_point(units, pos));
  return out;
}

// Lower case of ASCII and Latin-1 capitals (the letters of the names a user types here).
char32_t fold(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  return c;
}

// Wildcard matching with one back-tracking point (the last '*'), so a pattern with many stars
// costs at most pattern x name steps, never an exponential search. The pattern is folded.
bool match_points(const std::u32string& pattern, const std::u32string& name) {
  size_t p = 0, n = 0;
  size_t star = std::u32string::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == U'*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == fold(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::u32string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

bool hidden(std::string_view name) { return !name.empty() && name.front() == '.'; }

// A filter's patterns, decoded and folded once for all the names of a folder.
class Filter {
 public:
  explicit Filter(std::string_view patterns) : any_(trim(patterns).empty()) {
    for (size_t semi = 0; semi != std::string_view::npos; patterns.remove_prefix(semi + 1)) {
      semi = patterns.find(';');
      const std::string_view one = trim(patterns.substr(0, semi));
      if (one.empty()) continue;
      std::u32string points = code_points(one);
      std::transform(points.begin(), points.end(), points.begin(), fold);
      patterns_.push_back({std::move(points), one == "*.*", hidden(one)});
    }
  }

  bool matches(std::string_view name) const {
    if (any_) return true;
    const std::u32string points = code_points(name);
    for (const Pattern& p : patterns_) {
      // A hidden name shows only through a pattern that asks for the leading dot.
      if (hidden(name) && !p.dot) continue;
      if (p.every || match_points(p.points, points)) return true;
    }
    return false;
  }

 private:
  struct Pattern {
    std::u32string points;
    bool every;  // "*.*": every file, with or without a dot
    bool dot;    // begins with a dot
  };
  bool any_;  // no filter at all
  std::vector<Pattern> patterns_;
};

// Sorts by name without regard to case; names equal but for case in byte order, so the order
// never depends on the order the folder was read in. The folded keys are made once per entry.
void sort_by_name(std::vector<Entry>& entries) {
  std::vector<std::pair<std::u32string, size_t>> keys;
  keys.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    std::u32string key = code_points(entries[i].name);
    std::transform(key.begin(), key.end(), key.begin(), fold);
    keys.emplace_back(std::move(key), i);
  }
  std::sort(keys.begin(), keys.end(), [&entries](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return entries[a.second].name < entries[b.second].name;
  });
  std::vector<Entry> sorted;
  sorted.reserve(entries.size());
  for (const auto& k : keys) sorted.push_back(std::move(entries[k.second]));
  entries = std::move(sorted);
}

std::string unreadable(const fs::path& folder, const std::error_code& ec) {
  return folder.string() + " is not accessible.\n\n" + ec.message() + ".";
}

}  // namespace

std::string_view trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool matches_filter(std::string_view patterns, std::string_view name) {
  return Filter(patterns).matches(name);
}

bool is_pattern(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

Listing list_folder(const fs::path& folder, std::string_view patterns) {
  const Filter filter(patterns);
  Listing out;
  std::vector<Entry> folders, files;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  // Errors while reading (a folder removed meanwhile) end the listing like an unreadable folder.
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code status_ec;
    const bool is_folder = it->is_directory(status_ec);  // follows links; broken: a file
    if (is_folder && !hidden(name))
      folders.push_back({std::move(name), true});
    else if (!is_folder && filter.matches(name))
      files.push_back({std::move(name), false});
  }
  if (ec) {
    out.error = unreadable(folder, ec);
    return out;
  }
  sort_by_name(folders);
  sort_by_name(files);
  if (folder != folder.root_path()) out.entries.push_back({"..", true});
  out.entries.insert(out.entries.end(), folders.begin(), folders.end());
  out.entries.insert(out.entries.end(), files.begin(), files.end());
  return out;
}

fs::path compose(const fs::path& folder, std::string_view typed) {
  const fs::path given(typed);
  fs::path p = (given.is_absolute() ? given : folder / given).lexically_normal();
  if (p.filename().empty() && p != p.root_path()) p = p.parent_path();  // "a/b/" -> "a/b"
  return p;
}

fs::path parent_of(const fs::path& folder) { return folder.parent_path(); }

}  // namespace platform::file_listing
