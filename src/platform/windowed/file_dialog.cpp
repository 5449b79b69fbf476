#include "platform/windowed/file_dialog.hpp"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/controls/control_classes.hpp"
#include "platform/windowed/dialog_window.hpp"
#include "platform/windowed/file_choice.hpp"
#include "platform/windowed/file_listing.hpp"

namespace platform {
namespace {

namespace fs = std::filesystem;
using file_listing::Entry;

constexpr int32_t kOkResult = 1, kCancelResult = 0;

// The layout, in dialog units: (left, top, right, bottom) of each control and the client size.
constexpr Rect kLookIn{7, 8, 47, 16};
constexpr Rect kFolder{50, 8, 273, 16};
constexpr Rect kList{7, 21, 273, 138};
constexpr Rect kNameLabel{7, 148, 57, 156};
constexpr Rect kName{60, 146, 212, 160};
constexpr Rect kTypeLabel{7, 167, 57, 175};
constexpr Rect kType{60, 165, 212, 225};  // the list drops down to 225
constexpr Rect kOk{220, 146, 273, 160};
constexpr Rect kCancel{220, 165, 273, 179};
constexpr Rect kClient{0, 0, 280, 187};

bool is_folder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// Where the dialog starts: the initial folder when it exists (a folder given Windows-style
// may end in a backslash), else the current directory; an initial name with a folder part
// starts in that folder with the rest as the name.
struct Start {
  fs::path folder;
  std::string name;
};

Start start_of(const FileDialogRequest& request) {
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  if (ec) cwd = "/";
  std::string given = request.initial_folder;
  while (given.size() > 1 && given.back() == '\\') given.pop_back();
  Start s{given.empty() ? cwd : file_listing::compose(cwd, given), request.initial_name};
  if (!is_folder(s.folder)) s.folder = cwd;
  const size_t slash = s.name.find_last_of('/');
  if (slash == std::string::npos) return s;
  const fs::path where = file_listing::compose(s.folder, s.name.substr(0, slash + 1));
  if (is_folder(where)) s = Start{where, s.name.substr(slash + 1)};
  return s;
}

DialogFrame frame_of(const FileDialogRequest& request,
                     const std::string& title,
                     const std::function<void(Hwnd)>& shown) {
  const Rect client = DialogUnits(*DialogWindow::dialog_font()).to_pixels(kClient);
  return DialogFrame{request.owner, title, {client.width(), client.height()}, {}, shown};
}

class FileDialog {
 public:
  FileDialog(WindowSystem& system,
             const FileDialogRequest& request,
             const std::function<void(Hwnd)>& shown)
      : system_(system),
        request_(request),
        title_(file_dialog_title(request)),
        dialog_(system, frame_of(request, title_, shown)) {
    const Start start = start_of(request);
    add_controls(start.name);
    if (!request.filters.empty()) pattern_ = request.filters.front().pattern;
    // A start folder that cannot be read gives way to the current directory, then to "/".
    std::error_code ec;
    for (const fs::path& f : {start.folder, fs::current_path(ec), fs::path("/")})
      if (!f.empty() && load(f).empty()) break;
    dialog_.on_command([this](int32_t id, uint32_t code) { command(id, code); });
    dialog_.set_cancel_result(kCancelResult);
  }

  std::optional<std::string> run() {
    if (dialog_.run(kFileNameId) != kOkResult) return std::nullopt;
    return chosen_;
  }

 private:
  void add(const char* cls, const std::string& text, uint32_t style, Rect units, int32_t id) {
    dialog_.add({cls, text, style, dialog_.units().to_pixels(units), id});
  }

  void add_controls(const std::string& name) {
    const uint32_t tab = kStyleTabStop;
    add(kClassStatic, "Look in:", kSsLeft, kLookIn, -1);
    add(kClassStatic, "", kSsLeft, kFolder, kFileFolderId);
    add(kClassListBox, "", kLbsNotify | kStyleVScroll | tab, kList, kFileListId);
    add(kClassStatic, "File name:", kSsLeft, kNameLabel, -1);
    add(kClassEdit, name, kStyleBorder | kEsAutoHScroll | tab, kName, kFileNameId);
    add(kClassStatic, "Files of type:", kSsLeft, kTypeLabel, -1);
    add(kClassComboBox, "", kCbsDropDownList | kStyleVScroll | tab, kType, kFileTypeId);
    add(kClassButton, request_.save ? "Save" : "Open", kBsDefPushButton | tab, kOk, kFileOkId);
    add(kClassButton, "Cancel", kBsPushButton | tab, kCancel, kFileCancelId);
    for (const FileFilter& f : request_.filters)
      dialog_.send_item(kFileTypeId, kMsgCbAddString, 0, reinterpret_cast<int64_t>(f.name.c_str()));
    dialog_.send_item(kFileTypeId, kMsgCbSetCurSel, 0);
  }

  // Reads a folder through the current pattern and shows it; what went wrong, or "".
  std::string load(const fs::path& folder) {
    file_listing::Listing listing = file_listing::list_folder(folder, pattern_);
    if (!listing.error.empty()) return listing.error;
    folder_ = folder;
    entries_ = std::move(listing.entries);
    const std::string text = folder_.string();
    dialog_.send_item(kFileFolderId, kMsgSetText, 0, reinterpret_cast<int64_t>(text.c_str()));
    dialog_.send_item(kFileListId, kMsgLbResetContent);
    for (const Entry& e : entries_) {
      const std::string shown = e.folder ? e.name + "/" : e.name;
      dialog_.send_item(kFileListId, kMsgLbAddString, 0, reinterpret_cast<int64_t>(shown.c_str()));
    }
    return "";
  }

  // Shows a folder; an unreadable one is explained and the dialog stays where it was.
  bool show(const fs::path& folder) {
    const std::string error = load(folder);
    if (!error.empty()) tell(error, DialogIcon::Error);
    return error.empty();
  }

  void command(int32_t id, uint32_t code) {
    if (id == kFileListId && code == kLbnSelChange) selected();
    if (id == kFileListId && code == kLbnDblClk) activate();
    if (id == kFileTypeId && code == kLbnSelChange) type_chosen();
    if (id == kFileOkId && code == kBnClicked) confirm();
    if (id == kFileCancelId && code == kBnClicked) dialog_.end(kCancelResult);
  }

  const Entry* selection() const {
    const int64_t i = system_.send_message(dialog_.item(kFileListId), kMsgLbGetCurSel);
    return i >= 0 && i < static_cast<int64_t>(entries_.size()) ? &entries_[size_t(i)] : nullptr;
  }

  std::string name() const { return dialog_.item_text(kFileNameId); }
  void set_name(const std::string& text) {
    dialog_.send_item(kFileNameId, kMsgSetText, 0, reinterpret_cast<int64_t>(text.c_str()));
  }

  // A file selected in the list goes into the name field.
  void selected() {
    const Entry* e = selection();
    if (e && !e->folder) set_name(e->name);
  }

  void type_chosen() {
    const int64_t i = dialog_.send_item(kFileTypeId, kMsgCbGetCurSel);
    if (i < 0 || i >= static_cast<int64_t>(request_.filters.size())) return;
    pattern_ = request_.filters[size_t(i)].pattern;
    show(folder_);
  }

  // A double click on an entry (or Enter on the list): enter the folder, confirm the file.
  void activate() {
    const Entry* e = selection();
    if (!e) return;
    if (e->folder)
      show(file_listing::compose(folder_, e->name));
    else
      follow(file_choice::confirm_name(request_, folder_, e->name));
  }

  // "Open"/"Save" or Enter: a folder selected in the list is entered when the list has the
  // focus or nothing is typed; otherwise the typed name decides.
  void confirm() {
    const Entry* e = selection();
    const bool on_list = system_.focus() == dialog_.item(kFileListId);
    if (e && (on_list || (e->folder && name().empty()))) return activate();
    follow(file_choice::confirm_name(request_, folder_, name()));
  }

  void follow(const file_choice::Outcome& o) {
    using file_choice::Action;
    switch (o.action) {
      case Action::Stay:
        return;
      case Action::Enter:  // a folder typed in the name field
        if (show(o.path)) set_name("");
        return;
      case Action::Filter: {
        const std::string before = pattern_;
        pattern_ = o.pattern;
        if (!show(o.path)) pattern_ = before;
        return;
      }
      case Action::Confirm:
        if (!ask(o.message)) return;
        [[fallthrough]];
      case Action::Choose:
        chosen_ = o.path.string();
        dialog_.end(kOkResult);
        return;
      case Action::Refuse:
        tell(o.message, DialogIcon::Warning);
        system_.set_focus(dialog_.item(kFileNameId));
        return;
    }
  }

  // Message boxes owned by the dialog, through the window system's provider.
  void tell(const std::string& text, DialogIcon icon) {
    system_.dialogs().message_box({dialog_.window(), title_, text, icon, DialogButtons::Ok});
  }
  bool ask(const std::string& text) {
    const MessageBoxRequest question{
        dialog_.window(), title_, text, DialogIcon::Warning, DialogButtons::YesNo};
    return system_.dialogs().message_box(question) == DialogAnswer::Yes;
  }

  WindowSystem& system_;
  const FileDialogRequest& request_;
  const std::string title_;
  DialogWindow dialog_;
  fs::path folder_;      // the folder shown, absolute
  std::string pattern_;  // the patterns the files are listed through
  std::vector<Entry> entries_;
  std::optional<std::string> chosen_;
};

}  // namespace

std::optional<std::string> show_file_dialog(WindowSystem& system,
                                            const FileDialogRequest& request,
                                            const std::function<void(Hwnd)>& shown) {
  FileDialog dialog(system, request, shown);
  return dialog.run();
}

}  // namespace platform
