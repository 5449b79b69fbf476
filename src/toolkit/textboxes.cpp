#include "toolkit/textboxes.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/window_system.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/text_conversion.hpp"

namespace gk {
namespace {

using namespace platform;

// Runs `f` with the control `id` names under `kind` on the current window's thread; `if_none`
// when there is no window or no such control.
template <class F>
int64_t with_control(const char* kind, int32_t id, F&& f, int64_t if_none) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return if_none;
  return run_on_window_thread(
      rec,
      [&]() -> int64_t {
        const Hwnd c = GetControl(*rec, kind, id);
        return c == 0 ? if_none : f(c);
      },
      if_none);
}

int64_t send(Hwnd c, uint32_t message, uint64_t wp = 0, int64_t lp = 0) {
  return window_system->send_message(c, message, wp, lp);
}

std::string text_of(Hwnd c) { return from_platform(window_system->text(c)); }

void set_text(int32_t id, const std::string& text) {
  const std::string utf8 = to_platform(text);
  with_control(
      kKindEdit,
      id,
      [&](Hwnd c) { return send(c, kMsgSetText, 0, reinterpret_cast<int64_t>(utf8.c_str())); },
      0);
}

int32_t selection_start(Hwnd c) {
  int32_t start = 0, end = 0;
  send(c, kMsgEmGetSel, reinterpret_cast<uint64_t>(&start), reinterpret_cast<int64_t>(&end));
  return start;
}

// A one-line box: Enter posts the Enter notification to the window and types nothing.
void subclass_enter(Hwnd box) {
  auto original = std::make_shared<WindowProc>();
  *original = window_system->set_window_proc(
      box, [original](Hwnd w, uint32_t m, uint64_t wp, int64_t lp) -> int64_t {
        if (m == kMsgKeyDown && wp == kVkReturn) {
          window_system->post_message(
              window_system->parent(w), kMsgTextBoxEnter, 0, static_cast<int64_t>(w));
          return 0;
        }
        if (m == kMsgChar && (wp == '\r' || wp == '\n')) return 1;
        if (m == kMsgGetDlgCode) return (*original)(w, m, wp, lp) | kDlgCodeWantAllKeys;
        return (*original)(w, m, wp, lp);
      });
}

// Creates a control of `kind` with the style and callback on the current window.
int32_t create_kind(const char* kind,
                    uint32_t style,
                    int32_t left,
                    int32_t top,
                    int32_t width,
                    int32_t height,
                    Callback callback) {
  ControlRequest r;
  r.left = left;
  r.top = top;
  r.width = width;
  r.height = height;
  r.style = style;
  r.class_name = kind;
  r.callback = std::move(callback);
  return create_control(r);
}

int32_t insert_entry(
    const char* kind, uint32_t message, int32_t id, int32_t position, const char* text) {
  if (!text) return -1;
  const std::string utf8 = to_platform(text);
  return static_cast<int32_t>(with_control(
      kind,
      id,
      [&](Hwnd c) {
        return send(c,
                    message,
                    static_cast<uint64_t>(static_cast<int64_t>(position)),
                    reinterpret_cast<int64_t>(utf8.c_str()));
      },
      -1));
}

int32_t entry_text(
    const char* kind, uint32_t message, int32_t id, int32_t index, char* buffer, int32_t length) {
  std::string entry;
  const int64_t found = with_control(
      kind,
      id,
      [&](Hwnd c) {
        return send(c, message, static_cast<uint64_t>(index), reinterpret_cast<int64_t>(&entry));
      },
      -1);
  if (found < 0 || !buffer) return -1;
  const std::string text = from_platform(entry);
  const int32_t size = static_cast<int32_t>(text.size()) + 2;  // the text, its NUL and one more
  if (size < length) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    buffer[text.size() + 1] = '\0';
    return size - 1;
  }
  return length < 1 ? -1 : -2;
}

int32_t ask(const char* kind, int32_t id, uint32_t message, uint64_t wp = 0) {
  return static_cast<int32_t>(with_control(
      kind, id, [&](Hwnd c) { return send(c, message, wp); }, -1));
}

}  // namespace

int32_t createtextboxgeneric(
    WindowData&, int32_t left, int32_t top, int32_t width, int32_t height, uint32_t style) {
  return create_kind(kKindEdit, style, left, top, width, height, nullptr);
}

int32_t createtextbox(int32_t left, int32_t top, int32_t width, int32_t height) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return -1;
  const int32_t id = createtextboxgeneric(*rec, left, top, width, height, kOneLineStyle);
  with_control(
      kKindEdit,
      id,
      [](Hwnd c) {
        subclass_enter(c);
        return int64_t{0};
      },
      0);
  return id;
}

int32_t createmultilinetextbox(
    int32_t left, int32_t top, int32_t width, int32_t height, int32_t wrap) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return -1;
  const int32_t id = createtextboxgeneric(
      *rec, left, top, width, height, wrap ? kMultiLineWrapStyle : kMultiLineNoWrapStyle);
  with_control(
      kKindEdit,
      id,
      [](Hwnd c) { return send(c, kMsgEmLimitText, 5 * send(c, kMsgEmGetLimitText)); },
      0);
  return id;
}

void removetextbox(int32_t id) { remove_control(kKindEdit, id); }

int32_t gettextboxlength(int32_t id) {
  return static_cast<int32_t>(with_control(
      kKindEdit, id, [](Hwnd c) { return int64_t(text_of(c).size()); }, -1));
}

int32_t gettextboxcontents(int32_t id, char* buffer, int32_t length) {
  std::string text;
  if (with_control(
          kKindEdit,
          id,
          [&](Hwnd c) {
            text = text_of(c);
            return int64_t{1};
          },
          -1) < 0)
    return -1;
  if (!buffer || length == 0) return static_cast<int32_t>(text.size());
  return copy_to_buffer(text, buffer, length);
}

int32_t gettextboxinteger(int32_t id) {
  char number[kNumberTextMax + 1] = {};
  return gettextboxcontents(id, number, sizeof number) > 0 ? std::atoi(number) : 0;
}

double gettextboxdouble(int32_t id) {
  char number[kNumberTextMax + 1] = {};
  return gettextboxcontents(id, number, sizeof number) > 0 ? std::atof(number) : 0.0;
}

void settextboxcontents(int32_t id, const char* text) { set_text(id, text ? text : ""); }

void settextboxinteger(int32_t id, int32_t n) { set_text(id, std::to_string(n)); }

void settextboxdouble(int32_t id, double x) {
  // "%f" of a large number has hundreds of digits: the text is made as long as it needs.
  std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, "%f", x)), '\0');
  std::snprintf(text.data(), text.size() + 1, "%f", x);
  set_text(id, text);
}

void inserttextboxtext(int32_t id, const char* text) {
  const std::string utf8 = to_platform(text ? text : "");
  with_control(
      kKindEdit,
      id,
      [&](Hwnd c) {
        const int64_t wanted = static_cast<int64_t>(to_wide(utf8).size()) +
                               static_cast<int64_t>(to_wide(window_system->text(c)).size());
        if (send(c, kMsgEmGetLimitText) < wanted) send(c, kMsgEmLimitText, wanted + 256);
        return send(c, kMsgEmReplaceSel, 1, reinterpret_cast<int64_t>(utf8.c_str()));
      },
      -1);
}

void deletetextboxselection(int32_t id) {
  with_control(
      kKindEdit,
      id,
      [](Hwnd c) { return send(c, kMsgEmReplaceSel, 1, reinterpret_cast<int64_t>("")); },
      -1);
}

int32_t gettextboxselection(int32_t id, char* buffer, int32_t length) {
  std::string selected;
  const int64_t found = with_control(
      kKindEdit,
      id,
      [&](Hwnd c) {
        int32_t from = 0, to = 0;
        send(c, kMsgEmGetSel, reinterpret_cast<uint64_t>(&from), reinterpret_cast<int64_t>(&to));
        selected = from_wide(to_wide(window_system->text(c)).substr(from, to - from));
        return int64_t{1};
      },
      -1);
  if (found < 0) return -1;
  if (selected.empty()) return 0;
  const int32_t size = static_cast<int32_t>(selected.size()) + 1;  // with its NUL
  if (length <= 0) return size;
  if (buffer) copy_to_buffer(selected, buffer, length);
  return std::min(size, length);
}

int32_t gettextboxselectionlength(int32_t id) { return gettextboxselection(id, nullptr, 0); }

int32_t gettextboxcursorposition(int32_t id) {
  return static_cast<int32_t>(with_control(
      kKindEdit, id, [](Hwnd c) { return int64_t(selection_start(c)); }, -1));
}

int32_t gettextboxlinefromposition(int32_t id, int32_t position) {
  return ask(
      kKindEdit, id, kMsgEmLineFromChar, static_cast<uint64_t>(static_cast<int64_t>(position)));
}

int32_t gettextboxcurrentline(int32_t id) { return gettextboxlinefromposition(id, -1); }

int32_t gettextboxpositionfromline(int32_t id, int32_t line) {
  return ask(kKindEdit, id, kMsgEmLineIndex, static_cast<uint64_t>(static_cast<int64_t>(line)));
}

void settextboxcursorposition(int32_t id, int32_t position) {
  with_control(
      kKindEdit,
      id,
      [&](Hwnd c) {
        send(c, kMsgEmSetSel, static_cast<uint64_t>(position), position);
        return send(c, kMsgEmScrollCaret);
      },
      -1);
}

int32_t textboxselect(int32_t id, int32_t count) {
  return static_cast<int32_t>(with_control(
      kKindEdit,
      id,
      [&](Hwnd c) {
        const int32_t start = selection_start(c);
        send(c, kMsgEmSetSel, static_cast<uint64_t>(start), start + count);
        int32_t from = 0, to = 0;
        send(c, kMsgEmGetSel, reinterpret_cast<uint64_t>(&from), reinterpret_cast<int64_t>(&to));
        return int64_t{to};
      },
      -1));
}

int32_t settextboxfocused(int32_t id) {
  return static_cast<int32_t>(with_control(
      kKindEdit,
      id,
      [](Hwnd c) {
        window_system->set_focus(c);
        return int64_t{1};
      },
      -1));
}

void settextboxcue(int32_t id, const char* text) {
  const std::string utf8 = to_platform(text ? text : "");
  with_control(
      kKindEdit,
      id,
      [&](Hwnd c) {
        return send(c, kMsgEmSetCueBanner, 0, reinterpret_cast<int64_t>(utf8.c_str()));
      },
      -1);
}

void settextboxentercallback(int32_t id, Callback callback) {
  WindowRef rec = GK__GetWindowDataPtrOrNull(0);
  if (!rec) return;
  run_on_window_thread(
      rec,
      [&]() -> int64_t {
        const int32_t local = UnMapControl(*rec, id);
        if (!rec->control_table_lock.lock(kControlLockWaitMs)) return 0;
        if (local >= 0 && local < rec->text_boxes.count && rec->text_boxes.handles[local] != 0)
          rec->text_boxes.callbacks[local] = std::move(callback);
        rec->control_table_lock.unlock();
        return 0;
      },
      0);
}

void settextboxentercallback_ptr(int32_t id, const Callback* callback) {
  settextboxentercallback(id, callback ? *callback : Callback());
}

void enabletextbox(int32_t id, int32_t flag) { EnableControl(kKindEdit, id, flag); }

void settextboxeditable(int32_t id, int32_t flag) {
  with_control(
      kKindEdit, id, [&](Hwnd c) { return send(c, kMsgEmSetReadOnly, flag == 0 ? 1 : 0); }, -1);
}

int32_t createlistbox(int32_t left, int32_t top, int32_t width, int32_t height, Callback callback) {
  return create_kind(kKindListBox, kListBoxStyle, left, top, width, height, std::move(callback));
}

int32_t createlistbox_ptr(
    int32_t left, int32_t top, int32_t width, int32_t height, const Callback* callback) {
  return createlistbox(left, top, width, height, callback ? *callback : Callback());
}

void removelistbox(int32_t id) { remove_control(kKindListBox, id); }

int32_t insertlistboxentry(int32_t id, int32_t position, const char* text) {
  return insert_entry(kKindListBox, kMsgLbInsertString, id, position, text);
}

int32_t removelistboxentry(int32_t id, int32_t index) {
  return ask(kKindListBox, id, kMsgLbDeleteString, static_cast<uint64_t>(index));
}

void setlistboxselection(int32_t id, int32_t index) {
  ask(kKindListBox, id, kMsgLbSetCurSel, static_cast<uint64_t>(static_cast<int64_t>(index)));
}

int32_t getlistboxselection(int32_t id) { return ask(kKindListBox, id, kMsgLbGetCurSel); }
int32_t getlistboxlength(int32_t id) { return ask(kKindListBox, id, kMsgLbGetCount); }
void clearlistboxentries(int32_t id) { ask(kKindListBox, id, kMsgLbResetContent); }

int32_t getlistboxtext(int32_t id, int32_t index, char* buffer, int32_t length) {
  return entry_text(kKindListBox, kMsgLbGetText, id, index, buffer, length);
}

int32_t createdropdownlist(
    int32_t left, int32_t top, int32_t width, int32_t height, Callback callback) {
  return create_kind(
      kKindComboBox, kDropDownListStyle, left, top, width, height, std::move(callback));
}

int32_t createdropdownlist_ptr(
    int32_t left, int32_t top, int32_t width, int32_t height, const Callback* callback) {
  return createdropdownlist(left, top, width, height, callback ? *callback : Callback());
}

void removedropdownlist(int32_t id) { remove_control(kKindComboBox, id); }

int32_t insertdropdownlistentry(int32_t id, int32_t position, const char* text) {
  const int32_t at = insert_entry(kKindComboBox, kMsgCbInsertString, id, position, text);
  if (at >= 0 && getdropdownlistlength(id) == 1) setdropdownlistselection(id, 0);
  return at;
}

int32_t removedropdownlistentry(int32_t id, int32_t index) {
  return ask(kKindComboBox, id, kMsgCbDeleteString, static_cast<uint64_t>(index));
}

void setdropdownlistselection(int32_t id, int32_t index) {
  ask(kKindComboBox, id, kMsgCbSetCurSel, static_cast<uint64_t>(static_cast<int64_t>(index)));
}

int32_t getdropdownlistselection(int32_t id) { return ask(kKindComboBox, id, kMsgCbGetCurSel); }
int32_t getdropdownlistlength(int32_t id) { return ask(kKindComboBox, id, kMsgCbGetCount); }
void cleardropdownlistentries(int32_t id) { ask(kKindComboBox, id, kMsgCbResetContent); }

int32_t getdropdownlisttext(int32_t id, int32_t index, char* buffer, int32_t length) {
  return entry_text(kKindComboBox, kMsgCbGetLbText, id, index, buffer, length);
}

}  // namespace gk
