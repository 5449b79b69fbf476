// What a file dialog shows of a folder, and the paths it composes.
//
// Names are matched against a filter's patterns without regard to case (ASCII and Latin-1
// letters), '*' standing for any run of characters and '?' for exactly one (a UTF-8 character,
// not a byte). A filter holds several patterns separated by ';'; "*.*" lists every file, also
// one without a dot. Names beginning with a dot are hidden, as a Linux user expects: they are
// listed only by a pattern that itself begins with a dot (".*"), and can always be typed.
//
// A listing is read once per folder change: folders first, then the matching files, each part
// sorted by name without regard to case, and ".." to go up in every folder but "/". Paths are
// absolute and lexically normal; nothing here reads or changes the process's current
// directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform::file_listing {

// The text without the blanks and tabs around it.
std::string_view trim(std::string_view s);

// A filter's patterns (separated by ';', blanks around each ignored; '*', '?', other
// characters literal) against a whole name; an empty filter matches every name.
bool matches_filter(std::string_view patterns, std::string_view name);
// Whether a typed name is a pattern (holds '*' or '?') rather than a name.
bool is_pattern(std::string_view text);

struct Entry {
  std::string name;
  bool folder = false;
  friend bool operator==(const Entry&, const Entry&) = default;
};

struct Listing {
  std::vector<Entry> entries;
  std::string error;  // empty when the folder was read; else what the user is told
};

// Lists an absolute folder through `patterns` (the files only; folders are always listed).
// On failure `entries` is empty and `error` names the folder and the reason.
Listing list_folder(const std::filesystem::path& folder, std::string_view patterns);

// The absolute, lexically normal path a typed text names, seen from the absolute `folder`:
// the text itself when absolute, else relative to the folder. No trailing separator except
// for "/"; an empty text names the folder.
std::filesystem::path compose(const std::filesystem::path& folder, std::string_view typed);

// The folder above an absolute folder ("/" stays "/").
std::filesystem::path parent_of(const std::filesystem::path& folder);

}  // namespace platform::file_listing
