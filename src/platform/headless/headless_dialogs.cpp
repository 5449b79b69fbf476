#include "platform/headless/headless_dialogs.hpp"

#include <cstdio>

namespace platform {

DialogAnswer HeadlessDialogs::message_box(const MessageBoxRequest& request) {
  std::lock_guard<std::mutex> g(mutex_);
  shown_.push_back(request);
  if (!script_.empty()) {
    const DialogAnswer a = script_.front();
    script_.pop_front();
    return a;
  }
  std::printf("%s: %s\n", request.title.c_str(), request.text.c_str());
  std::fflush(stdout);
  return default_answer(request.buttons);
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
  shown_.clear();
}

}  // namespace platform
