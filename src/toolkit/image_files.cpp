#include "toolkit/image_files.hpp"

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <system_error>

#include "platform/gfx/device_context.hpp"
#include "platform/image/bmp.hpp"
#include "platform/image/picture.hpp"
#include "platform/windowed/file_choice.hpp"
#include "toolkit/dib.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/image_layout.hpp"
#include "toolkit/text_conversion.hpp"

namespace gk {
namespace {

using Lock = std::lock_guard<platform::CriticalSection>;

constexpr const char* kDocumentName = "GuiKit Window";
constexpr int32_t kTitlePoints = 12;  // size of the printed title

// Copies the block of the visual (or, with the flag, the active) page under the DC lock.
platform::Page copy_block(
    WindowData& rec, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t activeflag) {
  Lock lock(rec.dc_lock);
  const PageBlock b = page_block(left, top, right, bottom, rec.width, rec.height);
  const platform::Page& page =
      rec.pages[static_cast<size_t>(activeflag ? rec.active_page.load() : rec.visual_page.load())];
  platform::Page copy(b.width, b.height);
  for (int32_t y = 0; y < b.height; ++y) {
    for (int32_t x = 0; x < b.width; ++x) {
      if (page.contains(b.x + x, b.y + y)) copy.at(x, y) = page.at(b.x + x, b.y + y);
    }
  }
  return copy;
}

// The window's title; setwindowtitle may replace it from another thread meanwhile.
std::string window_title(WindowData& rec) {
  std::lock_guard<std::mutex> g(rec.state_lock);
  return rec.title;
}

// The dialog asked before replacing the chosen name, but the extension added since may name
// another file that exists: ask again for that one.
bool may_replace(const WindowData& rec, const std::string& name) {
  std::error_code ec;
  if (!std::filesystem::exists(name, ec)) return true;
  const platform::MessageBoxRequest question{
      rec.hwnd,
      "Save As",
      platform::file_choice::replace_question(std::filesystem::path(name).filename().string()),
      platform::DialogIcon::Warning,
      platform::DialogButtons::YesNo};
  return window_system->dialogs().message_box(question) == platform::DialogAnswer::Yes;
}

}  // namespace

int32_t writeimagefile(const char* filename,
                       int32_t left,
                       int32_t top,
                       int32_t right,
                       int32_t bottom,
                       int32_t activeflag) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return 0;
  std::string name = filename ? filename : "";
  if (name.empty()) {
    platform::FileDialogRequest request;
    request.owner = rec->hwnd;
    request.save = true;
    request.filters = {{"Bitmap files (*.bmp)", "*.BMP"}};
    request.overwrite_prompt = true;
    request.path_must_exist = true;
    const auto chosen = window_system->dialogs().file_dialog(request);
    if (!chosen) return 0;
    name = complete_bmp_name(*chosen);
    if (name != *chosen && !may_replace(*rec, name)) return 0;
  }
  const platform::Page block = copy_block(*rec, left, top, right, bottom, activeflag);
  const Dib dib = BitmapToDIB(block);
  return SaveDIB(dib.get(), name) == kDibSaved ? 1 : 0;
}

int32_t printimage(const char* title,
                   int32_t left,
                   int32_t top,
                   int32_t right,
                   int32_t bottom,
                   int32_t activeflag) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return 0;
  // Step 1: the default printer on the first call; with none the dialog offers a file only.
  platform::PrintDialogRequest request;
  request.owner = rec->hwnd;
  request.printer = window_system->last_printer();
  const auto answer = window_system->dialogs().print_dialog(request);
  if (!answer) return 0;
  if (!answer->printer.empty()) window_system->remember_printer(answer->printer);
  // Step 2.
  const platform::Page block = copy_block(*rec, left, top, right, bottom, activeflag);
  // Step 3.
  const std::shared_ptr<platform::Printer> printer = window_system->open_printer(*answer);
  if (!printer || !printer->start_document(kDocumentName)) return 0;
  // Step 4: the title, else the window's.
  const std::u16string text = to_wide(title && *title ? std::string(title) : window_title(*rec));
  const PrintLayout layout = print_layout(
      printer->dpi_x(), printer->dpi_y(), block.width(), block.height(), !text.empty());
  if (!text.empty()) {
    const auto font = platform::Font::create(
        {-kTitlePoints * printer->dpi_y() / 72, 400, platform::FontFamily::Swiss, "", false});
    if (font) printer->draw_text(layout.title_x, layout.title_y, text, *font);
  }
  // Step 5.
  printer->draw_image(
      layout.image_x, layout.image_y, layout.image_width, layout.image_height, block);
  // Step 6.
  return printer->end_document() ? 1 : 0;
}

std::optional<platform::Picture> readipicture(const char* filename) {
  const std::string name = filename ? filename : "";
  std::string why;
  try {
    if (auto picture = platform::load_picture(name, &why)) return picture;
  } catch (const std::bad_alloc&) {
    showerrorbox("Insufficient memory to read image");
    return std::nullopt;
  }
  showerrorbox(("Cannot read image " + name + ": " + why).c_str());
  return std::nullopt;
}

void readimagefile(const char* filename, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  auto rec = GK__GetWindowDataPtr(0);
  if (!rec) return;
  std::string name = filename ? filename : "";
  if (name.empty()) {
    platform::FileDialogRequest request;
    request.owner = rec->hwnd;
    request.filters = {{"Image files (*.bmp, *.gif, *.jpg, *.ico, *.emf, *.wmf)",
                        "*.BMP;*.GIF;*.JPG;*.ICO;*.EMF;*.WMF"}};
    request.path_must_exist = true;
    request.file_must_exist = true;
    const auto chosen = window_system->dialogs().file_dialog(request);
    if (!chosen) return;
    name = *chosen;
  }
  const auto picture = readipicture(name.c_str());
  if (!picture) return;
  // Sizes in 64 bits: a rectangle spanning the whole coordinate range must not overflow.
  constexpr int32_t kOwnSize = std::numeric_limits<int32_t>::max();
  const int64_t width = right == kOwnSize ? picture->width() : std::abs(int64_t{right} - left) + 1;
  const int64_t height =
      bottom == kOwnSize ? picture->height() : std::abs(int64_t{bottom} - top) + 1;
  DcLease lease = GK__GetFoundDC(rec);
  if (!lease) return;
  picture->render(lease.dc(), {left, top, width, height});
  refresh_drawn(*rec, nullptr);
}

}  // namespace gk
