#include "platform/headless/headless_dialogs.hpp"

#include <cstdio>

namespace platform {
namespace {

// Prints "title: text" as one record of the program's output: the texts of the dialogs break
// their lines with CR LF, the output with LF alone, as every other line of it.
void print_box(const std::string& title, const std::string& text) {
  std::string out = title + ": ";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 == text.size() || text[i + 1] != '\n') {
      out += '\n';  // a CR alone ends a line too
    }
  }
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
}

// A file or print dialog nobody answers is cancelled, and says so.
void print_cancelled(const std::string& title, const std::string& text) {
  print_box(title, text);
  std::printf("-> Cancel\n");
  std::fflush(stdout);
}

// What a file dialog offers: its filters' names, else its starting place.
std::string file_offer(const FileDialogRequest& request) {
  std::string offer;
  for (const FileFilter& f : request.filters) {
    if (!offer.empty()) offer += "; ";
    offer += f.name.empty() ? f.pattern : f.name;
  }
  if (offer.empty()) offer = request.initial_folder + request.initial_name;
  return offer;
}

}  // namespace

DialogAnswer HeadlessDialogs::message_box(const MessageBoxRequest& request) {
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> g(mutex_);
    action.swap(while_open_);
  }
  if (action) action();
  std::lock_guard<std::mutex> g(mutex_);
  shown_.push_back(request);
  if (!script_.empty()) {
    const DialogAnswer a = script_.front();
    script_.pop_front();
    return a;
  }
  const DialogAnswer answer = default_answer(request.buttons);
  print_box(request.title, request.text);
  // A question's answer follows it, so that a log of the run reads as it went.
  if (request.buttons != DialogButtons::Ok) {
    std::printf("-> %s\n", answer == DialogAnswer::Yes ? "Yes" : "OK");
  }
  std::fflush(stdout);
  return answer;
}

void HeadlessDialogs::script_while_open(std::function<void()> action) {
  std::lock_guard<std::mutex> g(mutex_);
  while_open_ = std::move(action);
}

void HeadlessDialogs::script_answer(DialogAnswer answer) {
  std::lock_guard<std::mutex> g(mutex_);
  script_.push_back(answer);
}

std::vector<MessageBoxRequest> HeadlessDialogs::shown() const {
  std::lock_guard<std::mutex> g(mutex_);
  return shown_;
}

void HeadlessDialogs::clear() {
  std::lock_guard<std::mutex> g(mutex_);
  script_.clear();
  while_open_ = nullptr;
  shown_.clear();
  file_script_.clear();
  print_script_.clear();
  shown_files_.clear();
  shown_prints_.clear();
  file_threads_.clear();
  text_script_.clear();
  selection_script_.clear();
  shown_texts_.clear();
  shown_selections_.clear();
}
std::optional<std::string> HeadlessDialogs::file_dialog(const FileDialogRequest& request) {
  std::lock_guard<std::mutex> g(mutex_);
  shown_files_.push_back(request);
  file_threads_.push_back(current_thread_id());
  if (file_script_.empty()) {
    print_cancelled(file_dialog_title(request), file_offer(request));
    return std::nullopt;
  }
  std::optional<std::string> answer = std::move(file_script_.front());
  file_script_.pop_front();
  return answer;
}

std::optional<PrintDialogAnswer> HeadlessDialogs::print_dialog(const PrintDialogRequest& request) {
  std::lock_guard<std::mutex> g(mutex_);
  shown_prints_.push_back(request);
  if (print_script_.empty()) {
    print_cancelled("Print", request.printer.empty() ? "no printer configured" : request.printer);
    return std::nullopt;
  }
  std::optional<PrintDialogAnswer> answer = std::move(print_script_.front());
  print_script_.pop_front();
  return answer;
}

void HeadlessDialogs::script_file(std::optional<std::string> path) {
  std::lock_guard<std::mutex> g(mutex_);
  file_script_.push_back(std::move(path));
}

void HeadlessDialogs::script_print(std::optional<PrintDialogAnswer> answer) {
  std::lock_guard<std::mutex> g(mutex_);
  print_script_.push_back(std::move(answer));
}

std::vector<FileDialogRequest> HeadlessDialogs::shown_files() const {
  std::lock_guard<std::mutex> g(mutex_);
  return shown_files_;
}

std::vector<PrintDialogRequest> HeadlessDialogs::shown_prints() const {
  std::lock_guard<std::mutex> g(mutex_);
  return shown_prints_;
}

}  // namespace platform

namespace platform {
namespace {

// What a batch run shows of a dialog nobody answers.
void print_unanswered(const std::string& title, const std::string& prompt) {
  print_box(title, prompt);
  std::fflush(stdout);
}

}  // namespace

std::optional<std::string> HeadlessDialogs::text_entry(const TextEntryRequest& request) {
  std::lock_guard<std::mutex> g(mutex_);
  shown_texts_.push_back(request);
  if (text_script_.empty()) {
    print_unanswered(request.title, request.prompt);
    return request.initial;
  }
  std::optional<std::string> answer = std::move(text_script_.front());
  text_script_.pop_front();
  return answer;
}

std::optional<int32_t> HeadlessDialogs::selection(const SelectionRequest& request) {
  std::lock_guard<std::mutex> g(mutex_);
  shown_selections_.push_back(request);
  if (selection_script_.empty()) {
    print_unanswered(request.title, request.prompt);
    return request.options.empty() ? std::nullopt : std::optional<int32_t>(0);
  }
  std::optional<int32_t> answer = selection_script_.front();
  selection_script_.pop_front();
  return answer;
}

void HeadlessDialogs::script_text(std::optional<std::string> text) {
  std::lock_guard<std::mutex> g(mutex_);
  text_script_.push_back(std::move(text));
}

void HeadlessDialogs::script_selection(std::optional<int32_t> option) {
  std::lock_guard<std::mutex> g(mutex_);
  selection_script_.push_back(option);
}

std::vector<TextEntryRequest> HeadlessDialogs::shown_texts() const {
  std::lock_guard<std::mutex> g(mutex_);
  return shown_texts_;
}

std::vector<SelectionRequest> HeadlessDialogs::shown_selections() const {
  std::lock_guard<std::mutex> g(mutex_);
  return shown_selections_;
}

std::vector<ThreadId> HeadlessDialogs::file_threads() const {
  std::lock_guard<std::mutex> g(mutex_);
  return file_threads_;
}

}  // namespace platform
