// A headless toolkit with one 400 x 300 window for control tests, and helpers that reach its
// controls the way the user would.
#pragma once

#include "platform/sync.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/text.hpp"
#include "toolkit_fixture.hpp"

namespace toolkit_test {

class ControlsWindow : public HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    gk::install_drawing();
    gk::install_text();
    ASSERT_EQ(gk::initwindow(400, 300, "controls", 0, 0, 0, 0), 0);
    rec_ = record(0);
    ASSERT_TRUE(rec_);
    h_ = handle(0);
  }

  // The platform window of the control `id` names under `kind` (0: none).
  platform::Hwnd control(int32_t id, const char* kind = gk::kKindButton) {
    return gk::GetControl(*rec_, kind, id);
  }
  // Clicks the control in its middle and waits until the window has handled the click.
  void click(int32_t id, const char* kind = gk::kKindButton) {
    const platform::Hwnd c = control(id, kind);
    ASSERT_NE(c, 0u);
    user.click_control(c);
    ASSERT_TRUE(user.settle(h_));
  }
  platform::ScriptedUser::ControlState state(int32_t id, const char* kind = gk::kKindButton) {
    return user.control_state(control(id, kind));
  }

  gk::WindowRef rec_;
  platform::Hwnd h_ = 0;
};

}  // namespace toolkit_test
