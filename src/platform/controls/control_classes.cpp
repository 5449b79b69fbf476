#include "platform/controls/control_classes.hpp"

namespace platform {

void register_control_classes(WindowSystem& system) {
  auto with = [&system](auto proc) {
    return [&system, proc](Hwnd w, uint32_t m, uint64_t wp, int64_t lp) {
      return proc(system, w, m, wp, lp);
    };
  };
  system.register_class(kClassButton, kClassDblClks, with(button_proc));
  system.register_class(kClassScrollBar, kClassDblClks, with(scroll_bar_proc));
  system.register_class(kClassStatic, 0, with(static_proc));
  system.register_class(kClassEdit, kClassDblClks, with(edit_proc));
  system.register_class(kClassListBox, kClassDblClks, with(list_box_proc));
  system.register_class(kClassComboBox, 0, with(combo_box_proc));
  system.register_class(kClassComboList, 0, with(combo_list_proc));
}

}  // namespace platform
