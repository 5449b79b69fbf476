// The headless dialog provider: records every message box, file and print dialog and answers
// it.
//
// Answers come from a script the scripted user fills (one answer per box, in order); with no
// scripted answer left, the box gets its default answer (the first button: OK or Yes) and its
// title and text are printed to standard output (the text's CR LF line breaks as LF), followed
// for a question by the answer taken ("-> Yes"), so a batch run shows what it would have asked
// and how it went on. File and print dialogs are answered from scripts of their own; with none
// left they are cancelled, printed the same way with "-> Cancel".
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.hpp"
#include "platform/thread_id.hpp"

namespace platform {

class HeadlessDialogs : public DialogProvider {
 public:
  DialogAnswer message_box(const MessageBoxRequest& request) override;
  std::optional<std::string> file_dialog(const FileDialogRequest& request) override;
  std::optional<PrintDialogAnswer> print_dialog(const PrintDialogRequest& request) override;
  std::optional<std::string> text_entry(const TextEntryRequest& request) override;
  std::optional<int32_t> selection(const SelectionRequest& request) override;

  // The answers to the next file and print dialogs (nothing: cancel), in order; with none
  // scripted a dialog is cancelled.
  void script_file(std::optional<std::string> path);
  void script_print(std::optional<PrintDialogAnswer> answer);
  std::vector<FileDialogRequest> shown_files() const;    // every file dialog so far
  std::vector<PrintDialogRequest> shown_prints() const;  // every print dialog so far
  std::vector<ThreadId> file_threads() const;            // the thread of each file dialog

  // The answers to the next text entries and selections (nothing: cancel).
  void script_text(std::optional<std::string> text);
  void script_selection(std::optional<int32_t> option);
  std::vector<TextEntryRequest> shown_texts() const;
  std::vector<SelectionRequest> shown_selections() const;

  void script_answer(DialogAnswer answer);  // the answer to the next box
  // What the scripted user does while the next box is open, before it is answered (changes a
  // file while a question waits, say).
  void script_while_open(std::function<void()> action);
  std::vector<MessageBoxRequest> shown() const;  // every box so far, oldest first
  void clear();

 private:
  mutable std::mutex mutex_;
  std::deque<DialogAnswer> script_;
  std::function<void()> while_open_;
  std::vector<MessageBoxRequest> shown_;
  std::deque<std::optional<std::string>> file_script_;
  std::deque<std::optional<PrintDialogAnswer>> print_script_;
  std::vector<FileDialogRequest> shown_files_;
  std::vector<PrintDialogRequest> shown_prints_;
  std::vector<ThreadId> file_threads_;
  std::deque<std::optional<std::string>> text_script_;
  std::deque<std::optional<int32_t>> selection_script_;
  std::vector<TextEntryRequest> shown_texts_;
  std::vector<SelectionRequest> shown_selections_;
};

}  // namespace platform
