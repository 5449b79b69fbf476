#include "app/main_prog.hpp"

#include <gtest/gtest.h>

#include "common/globals.hpp"
#include "toolkit/drawing_state.hpp"
#include "toolkit/gk_window.hpp"
#include "toolkit/toolkit_fixture.hpp"

namespace {

class MainProg : public toolkit_test::HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    gk::install_drawing();
    globals::reset();
  }
};

// The main window is cleared to its light background, not left black.
TEST_F(MainProg, WindowColoursClearTheMainWindowToTheFirstColour) {
  const int32_t w = gk::initwindow(200, 100, "main", 0, 0, 0, 0);
  ASSERT_GE(w, 0);
  main_prog::set_window_colours();
  EXPECT_EQ(globals::gwincolor1, 242 + 256 * 245 + 65536 * 250);
  EXPECT_EQ(globals::gwincolor2, 235 + 256 * 245 + 65536 * 250);
  EXPECT_EQ(gk::getbkcolor(), globals::gwincolor1);
  const gk::WindowRef rec = record(w);
  const auto& page = rec->pages[rec->active_page.load()];
  for (int32_t y : {0, 50, 99}) {
    for (int32_t x : {0, 100, 199}) {
      EXPECT_EQ(static_cast<int32_t>(platform::to_colorref(page.at(x, y))), globals::gwincolor1)
          << x << ", " << y;
    }
  }
}

// The open-file dialog's choice is the data file as chosen, blanks and all.
TEST_F(MainProg, TheDataFileChosenInTheDialogKeepsItsBlanks) {
  ASSERT_GE(gk::initwindow(200, 100, "main", 0, 0, 0, 0), 0);
  for (const char* chosen : {"/d/z.dat ", " /d/z.dat"}) {
    SCOPED_TRACE(chosen);
    dialogs.script_file(std::string(chosen));
    EXPECT_EQ(main_prog::data_file({}), chosen);
  }
  dialogs.script_file(std::nullopt);
  EXPECT_EQ(main_prog::data_file({}), "");
  EXPECT_EQ(main_prog::data_file({.file = "a.dat "}), "a.dat ");
}

}  // namespace
