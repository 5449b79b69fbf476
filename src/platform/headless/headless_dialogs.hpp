// The headless dialog provider: records every message box and answers it.
//
// Answers come from a script the scripted user fills (one answer per box, in order); with no
// scripted answer left, the box gets its default answer (the first button: OK or Yes) and its
// title and text are printed to standard output, so a batch run shows what it would have
// asked.
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "platform/dialogs.hpp"

namespace platform {

class HeadlessDialogs : public DialogProvider {
 public:
  DialogAnswer message_box(const MessageBoxRequest& request) override;

  void script_answer(DialogAnswer answer);       // the answer to the next box
  std::vector<MessageBoxRequest> shown() const;  // every box so far, oldest first
  void clear();

 private:
  mutable std::mutex mutex_;
  std::deque<DialogAnswer> script_;
  std::vector<MessageBoxRequest> shown_;
};

}  // namespace platform
