#include "platform/windowed/dialog_window.hpp"

#include <algorithm>
#include <map>

#include "platform/controls/control_classes.hpp"
#include "platform/controls/control_paint.hpp"
#include "platform/text/text_layout.hpp"

namespace platform {
namespace {

// value * numerator / denominator, rounded to the nearest integer (halves away from zero).
int32_t scale(int32_t value, int32_t numerator, int32_t denominator) {
  const int64_t p = int64_t{value} * numerator;
  const int64_t half = denominator / 2;
  return static_cast<int32_t>(p >= 0 ? (p + half) / denominator : -((-p + half) / denominator));
}

// The frame of a client area of `client` pixels at `position`, or else centred on `over`,
// kept on the screen.
Rect place_frame(const WindowSystem& system,
                 Size client,
                 const std::optional<Point>& position,
                 const Rect& over) {
  const Rect frame =
      system.adjust_window_rect(Rect{0, 0, client.width, client.height}, kDialogStyle, false);
  const int32_t w = frame.width(), h = frame.height();
  const int32_t sw = system.metric(Metric::CxScreen), sh = system.metric(Metric::CyScreen);
  const Point at = position.value_or(
      Point{over.left + (over.width() - w) / 2, over.top + (over.height() - h) / 2});
  const int32_t x = std::clamp(at.x, 0, std::max(0, sw - w));
  const int32_t y = std::clamp(at.y, 0, std::max(0, sh - h));
  return Rect{x, y, x + w, y + h};
}

}  // namespace

// What the window procedure of a dialog needs; the window's user data.
struct DialogWindow::State {
  std::map<Hwnd, int32_t> ids;  // control -> id
  CommandHandler command;
  Painter painter;
  int32_t cancel = 0;
  std::optional<int32_t> result;
  Hwnd last_focus = 0;  // the control of the dialog that had the focus last
};

DialogUnits::DialogUnits(const Font& font) : x(average_char_width(font)), y(font.height()) {}

Rect DialogUnits::to_pixels(const Rect& units) const {
  return Rect{scale(units.left, x, 4),
              scale(units.top, y, 8),
              scale(units.right, x, 4),
              scale(units.bottom, y, 8)};
}

DialogWindow::DialogWindow(WindowSystem& system, const DialogFrame& frame)
    : system_(system),
      state_(std::make_shared<State>()),
      units_(*dialog_font()),
      owner_(system.is_window(frame.owner) ? system.root(frame.owner) : 0),
      shown_(frame.shown) {
  // Registered by the first dialog of the window system; later registrations are refused.
  system.register_class(kClassDialog, 0, [&system](Hwnd w, uint32_t m, uint64_t wp, int64_t lp) {
    return proc(system, w, m, wp, lp);
  });
  const Rect over =
      owner_ != 0 ? system.frame_rect(owner_)
                  : Rect{0, 0, system.metric(Metric::CxScreen), system.metric(Metric::CyScreen)};
  CreateWindowParams p;
  p.class_name = kClassDialog;
  p.title = frame.title;
  p.style = kDialogStyle;
  p.frame = place_frame(system, frame.client, frame.position, over);
  p.owner = owner_;
  window_ = system.create_window(p);
  if (window_ != 0) system.set_user_data(window_, state_);
}

DialogWindow::~DialogWindow() {
  if (window_ != 0) system_.destroy_window(window_);
}

Hwnd DialogWindow::add(const DialogItem& item) {
  if (window_ == 0) return 0;
  CreateWindowParams p;
  p.class_name = item.class_name;
  p.title = item.text;
  p.style = kStyleChild | kStyleVisible | item.style;
  p.frame = item.place;
  p.parent = window_;
  const Hwnd control = system_.create_window(p);
  if (control == 0) return 0;
  system_.show_window(control, true);
  state_->ids[control] = item.id;
  return control;
}

Hwnd DialogWindow::item(int32_t id) const {
  for (const auto& [control, its_id] : state_->ids)
    if (its_id == id) return control;
  return 0;
}

std::string DialogWindow::item_text(int32_t id) const { return system_.text(item(id)); }

int64_t DialogWindow::send_item(int32_t id, uint32_t message, uint64_t wparam, int64_t lparam) {
  return system_.send_message(item(id), message, wparam, lparam);
}

void DialogWindow::on_command(CommandHandler handler) { state_->command = std::move(handler); }
void DialogWindow::on_paint(Painter painter) { state_->painter = std::move(painter); }
void DialogWindow::set_cancel_result(int32_t result) { state_->cancel = result; }

void DialogWindow::end(int32_t result) {
  if (!state_->result) state_->result = result;
}

bool DialogWindow::ended() const { return state_->result.has_value(); }

int64_t DialogWindow::proc(
    WindowSystem& system, Hwnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
  auto state = std::static_pointer_cast<State>(system.user_data(window));
  if (!state) return system.default_window_proc(window, message, wparam, lparam);
  switch (message) {
    case kMsgPaint:
      system.paint(window, [&](Page& surface, const Rect& update) {
        control_paint::fill(surface, update, control_paint::kFace, update);
        if (state->painter) state->painter(surface, update);
      });
      return 0;
    case kMsgCommand: {
      auto it = state->ids.find(static_cast<Hwnd>(lparam));
      // A copy: the handler may replace itself, or open a nested dialog that ends this one.
      const CommandHandler handler = state->command;
      if (it != state->ids.end() && handler)
        handler(it->second, static_cast<uint32_t>((wparam >> 16) & 0xFFFF));
      return 0;
    }
    case kMsgActivate:
      // Activated again (after another window had the focus): the focus returns to the
      // control that had it.
      if (wparam != 0 && system.root(system.focus()) != window &&
          system.is_window(state->last_focus))
        system.set_focus(state->last_focus);
      return 0;
    case kMsgClose:  // the close box: the window stays until the loop ends
      if (!state->result) state->result = state->cancel;
      return 0;
    default:
      return system.default_window_proc(window, message, wparam, lparam);
  }
}

bool DialogWindow::dialog_key(const Message& m) {
  if (m.message != kMsgKeyDown || (m.hwnd != window_ && system_.root(m.hwnd) != window_))
    return false;
  const Hwnd focus = system_.focus();
  const bool list_open = system_.class_name(focus) == kClassComboBox &&
                         system_.send_message(focus, kMsgCbGetDroppedState) != 0;
  if ((m.wparam == kVkReturn || m.wparam == kVkEscape) && list_open) return false;
  if (m.wparam == kVkEscape) {
    end(state_->cancel);
    return true;
  }
  return system_.is_dialog_message(window_, m);
}

void DialogWindow::set_initial_focus(int32_t focus_id) {
  Hwnd target = item(focus_id);
  if (target == 0) {
    for (Hwnd child : system_.children(window_))
      if ((system_.style(child) & kStyleTabStop) && system_.is_enabled(child)) {
        target = child;
        break;
      }
  }
  if (target == 0) return;
  system_.set_focus(target);
  if (system_.class_name(target) == kClassEdit) system_.send_message(target, kMsgEmSetSel, 0, -1);
}

int32_t DialogWindow::run(int32_t focus_id) {
  if (window_ == 0) return state_->cancel;
  // The owner takes no input while the dialog runs; one that was disabled already stays so.
  const bool owner_disabled = owner_ != 0 && system_.is_enabled(owner_);
  if (owner_disabled) system_.enable_window(owner_, false);
  // The focus is in place before the window is shown: a display may hand the window the
  // keyboard the moment it is on the screen, and what the user types then belongs to it.
  const Hwnd focus_before = system_.focus();
  set_initial_focus(focus_id);
  system_.show_window(window_, true);
  system_.activate(window_);
  if (shown_) shown_(window_);

  std::optional<int32_t> quit;
  Message m;
  while (!state_->result) {
    if (!system_.get_message(m)) {
      quit = static_cast<int32_t>(m.wparam);
      end(state_->cancel);
      break;
    }
    if (!dialog_key(m)) {
      system_.translate_message(m);
      system_.dispatch_message(m);
    }
    const Hwnd focus = system_.focus();
    if (focus != 0 && system_.root(focus) == window_) state_->last_focus = focus;
  }
  finish(owner_, owner_disabled, focus_before);
  if (quit) system_.post_quit_message(*quit);
  return *state_->result;
}

// Gives the owner back its input before the dialog goes, so that the activation passes to
// the owner and not to some other window, and the focus back to the owner's control that had
// it.
void DialogWindow::finish(Hwnd owner, bool owner_disabled, Hwnd focus_before) {
  if (owner_disabled) system_.enable_window(owner, true);
  system_.destroy_window(window_);
  window_ = 0;
  if (owner == 0) return;
  system_.activate(owner);
  if (focus_before != 0 && system_.root(focus_before) == owner) system_.set_focus(focus_before);
}

}  // namespace platform
