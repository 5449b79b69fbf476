// The X11 backend's clipboard: the CLIPBOARD selection.
//
// Copying takes ownership of CLIPBOARD and serves the text (as UTF8_STRING, or STRING for old
// clients) to whoever asks. Pasting text we own is answered at once; otherwise the owner is
// asked to convert it to UTF-8 into a property of our helper window, and the asking thread
// waits (at most kPasteTimeout) until the pump sees the answer.

#include <chrono>

#include "platform/text/text_convert.hpp"
#include "platform/x11/x11_backend.hpp"
#include "platform/x11/xlib.hpp"

namespace platform {
namespace {

// An owner that never answers must not hang the program.
constexpr auto kPasteTimeout = std::chrono::seconds(2);

// STRING is ISO Latin-1: characters beyond it become '?'.
std::string utf8_to_latin1(const std::string& text) {
  std::string out;
  for (char16_t unit : utf8_to_utf16(text)) out += unit <= 0xFF ? static_cast<char>(unit) : '?';
  return out;
}

std::string latin1_to_utf8(const std::string& text) {
  std::u16string units;
  for (char c : text) units += static_cast<char16_t>(static_cast<unsigned char>(c));
  return utf16_to_utf8(units);
}

}  // namespace

bool X11Backend::set_clipboard_text(const std::string& text) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!display_) return false;
  clipboard_ = text;
  XSetSelectionOwner(display_, atoms_.clipboard, clipboard_window_, CurrentTime);
  const bool owned = XGetSelectionOwner(display_, atoms_.clipboard) == clipboard_window_;
  wake_if_queued();
  return owned;
}

bool X11Backend::clipboard_text(std::string& text) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!display_) return false;
  const Window owner = XGetSelectionOwner(display_, atoms_.clipboard);
  if (owner == None) return false;
  if (owner == clipboard_window_) {
    text = clipboard_;
    return true;
  }
  // The pump receives the answer; asked on the pump thread, nobody would be there to see it.
  if (std::this_thread::get_id() == pump_thread_ || paste_.waiting) return false;
  paste_ = Paste{true, false, std::nullopt};
  XDeleteProperty(display_, clipboard_window_, atoms_.property);
  XConvertSelection(
      display_, atoms_.clipboard, atoms_.utf8, atoms_.property, clipboard_window_, CurrentTime);
  XFlush(display_);
  wake();
  const bool answered = paste_done_.wait_for(lock, kPasteTimeout, [this] { return paste_.done; });
  paste_.waiting = false;
  if (!answered || !paste_.text) return false;
  text = *paste_.text;
  return true;
}

void X11Backend::take_selection_notify(XEvent& event) {
  if (!paste_.waiting || event.xselection.requestor != clipboard_window_) return;
  paste_.done = true;
  if (event.xselection.property != None) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // Up to 16 MB of text in one piece (the length is counted in 32-bit units).
    if (XGetWindowProperty(display_,
                           clipboard_window_,
                           atoms_.property,
                           0,
                           4 << 20,
                           True,
                           AnyPropertyType,
                           &type,
                           &format,
                           &count,
                           &after,
                           &data) == Success &&
        format == 8 && (type == atoms_.utf8 || type == atoms_.string)) {
      const std::string got(reinterpret_cast<const char*>(data), count);
      paste_.text = type == atoms_.utf8 ? got : latin1_to_utf8(got);
    }
    if (data) XFree(data);
  }
  paste_done_.notify_all();
}

void X11Backend::serve_selection_request(XEvent& event) {
  const XSelectionRequestEvent& req = event.xselectionrequest;
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = req.display;
  reply.requestor = req.requestor;
  reply.selection = req.selection;
  reply.target = req.target;
  reply.time = req.time;
  // Old clients name no property: the target's name is the property then.
  const Atom property = req.property == None ? req.target : req.property;
  reply.property = None;  // refused unless served below
  if (req.selection == atoms_.clipboard && req.owner == clipboard_window_) {
    if (req.target == atoms_.targets) {
      const Atom targets[] = {static_cast<Atom>(atoms_.targets),
                              static_cast<Atom>(atoms_.utf8),
                              static_cast<Atom>(atoms_.string)};
      XChangeProperty(display_,
                      req.requestor,
                      property,
                      XA_ATOM,
                      32,
                      PropModeReplace,
                      reinterpret_cast<const unsigned char*>(targets),
                      3);
      reply.property = property;
    } else if (req.target == atoms_.utf8 || req.target == atoms_.string) {
      const std::string text = req.target == atoms_.utf8 ? clipboard_ : utf8_to_latin1(clipboard_);
      XChangeProperty(display_,
                      req.requestor,
                      property,
                      req.target,
                      8,
                      PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text.data()),
                      static_cast<int>(text.size()));
      reply.property = property;
    }
  }
  XSendEvent(display_, req.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
}

}  // namespace platform
