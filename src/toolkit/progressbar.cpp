#include "toolkit/progressbar.hpp"

#include "numerics/stringlib.hpp"
#include "toolkit/guikit.hpp"

namespace progressbar {

void drawpercent(Progresswindow& window,
                 int32_t /*percent*/,
                 std::optional<std::string_view> text) {
  if (text) window.text = stringlib::fixed(*text, len_text);
  guikit::refreshall();
  guikit::clearviewport();
  if (stringlib::s_len_trim(window.text) > 0) guikit::outtextxy(5, 5, window.text);
}

}  // namespace progressbar
