// A headless display with a scripted user, attached to the toolkit for one test.
#pragma once

#include <gtest/gtest.h>

#include "platform/headless/headless_backend.hpp"
#include "platform/headless/headless_dialogs.hpp"
#include "platform/headless/scripted_user.hpp"
#include "platform/window_system.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"

namespace toolkit_test {

class HeadlessToolkit : public ::testing::Test {
 protected:
  void SetUp() override {
    gk::reset();
    gk::attach(&system);
  }
  void TearDown() override {
    gk::reset();
    gk::hooks = {};  // a test may have plugged in its own
  }

  // The record of window `index` (null when closed).
  gk::WindowRef record(int32_t index) {
    std::lock_guard<std::mutex> g(gk::table_lock);
    if (index < 0 || index >= gk::GK__WindowCount || gk::GK__WindowTable[index] == 0)
      return nullptr;
    return std::static_pointer_cast<gk::WindowData>(system.user_data(gk::GK__WindowTable[index]));
  }
  platform::Hwnd handle(int32_t index) {
    std::lock_guard<std::mutex> g(gk::table_lock);
    return index >= 0 && index < gk::GK__WindowCount ? gk::GK__WindowTable[index] : 0;
  }

  platform::HeadlessBackend backend;
  platform::HeadlessDialogs dialogs;
  platform::WindowSystem system{backend, dialogs};
  platform::ScriptedUser user{system, backend, dialogs};
};

}  // namespace toolkit_test
