#include "platform/windowed/file_choice.hpp"

#include <system_error>

#include "platform/windowed/file_listing.hpp"

namespace platform::file_choice {
namespace {

namespace fs = std::filesystem;

bool is_folder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

bool present(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

Outcome refuse_path(const fs::path& path) {
  return {Action::Refuse,
          path,
          "",
          path.string() + "\nPath does not exist.\nCheck the path and try again."};
}

// A typed pattern, perhaps behind a folder part ("data/*.dat"): that folder through it.
Outcome filter(const fs::path& folder, std::string_view part, std::string_view pattern) {
  const fs::path where = file_listing::compose(folder, part);
  if (!is_folder(where)) return refuse_path(where);
  return {Action::Filter, where, std::string(pattern), ""};
}

// A file name that is not a folder: the request's checks.
Outcome file(const FileDialogRequest& request, const fs::path& target) {
  const std::string name = target.filename().string();
  if (request.path_must_exist && !is_folder(target.parent_path())) return refuse_path(target);
  if (present(target)) {
    if (request.save && request.overwrite_prompt)
      return {Action::Confirm, target, "", replace_question(name)};
    return {Action::Choose, target, "", ""};
  }
  if (!request.save && request.file_must_exist)
    return {
        Action::Refuse, target, "", name + "\nFile not found.\nCheck the file name and try again."};
  return {Action::Choose, target, "", ""};
}

}  // namespace

std::string replace_question(const std::string& name) {
  return name + " already exists.\nDo you want to replace it?";
}

Outcome confirm_name(const FileDialogRequest& request,
                     const fs::path& folder,
                     std::string_view typed) {
  typed = file_listing::trim(typed);
  if (typed.empty()) return {};
  const size_t slash = typed.find_last_of('/');
  const size_t leaf_at = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view leaf = typed.substr(leaf_at);
  if (file_listing::is_pattern(leaf)) return filter(folder, typed.substr(0, leaf_at), leaf);
  const fs::path target = file_listing::compose(folder, typed);
  if (is_folder(target)) return {Action::Enter, target, "", ""};
  if (leaf.empty()) return refuse_path(target);  // "name/" asks for a folder that is not there
  return file(request, target);
}

}  // namespace platform::file_choice
