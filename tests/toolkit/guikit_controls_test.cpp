// The binding's text boxes, lists, mouse and clipboard: trimming, blank padding, defaults.
#include "controls_fixture.hpp"
#include "numerics/stringlib.hpp"
#include "toolkit/drawing.hpp"
#include "toolkit/gk_callbacks.hpp"
#include "toolkit/guikit.hpp"
#include "toolkit/images.hpp"
#include "toolkit/mouse.hpp"
#include "toolkit/textboxes.hpp"

namespace {

class GuikitControls : public toolkit_test::ControlsWindow {
 protected:
  void SetUp() override {
    gk::install_mouse();
    ControlsWindow::SetUp();
  }
  guikit::agimage image_;
};

TEST_F(GuikitControls, TextBoxTextIsTrimmedInAndPaddedOut) {
  const int32_t id = gk::createtextbox(10, 10, 200, 24);
  guikit::settextboxcontents(id, "value   ");
  std::string text(10, '#');
  EXPECT_EQ(guikit::gettextboxcontents(id, text), 5);
  EXPECT_EQ(text, "value     ");
  std::string short_text(3, '#');
  EXPECT_EQ(guikit::gettextboxcontents(id, short_text), 3);  // cut to the variable
  EXPECT_EQ(short_text, "val");
  std::string kept = "kept";
  EXPECT_EQ(guikit::gettextboxcontents(99, kept), -1);
  EXPECT_EQ(kept, "kept");
  guikit::inserttextboxtext(id, "  ab  ", false);  // the whole text, blanks and all
  guikit::inserttextboxtext(id, "cd  ");
  std::string all(16, ' ');
  guikit::gettextboxcontents(id, all);
  EXPECT_EQ(all, "  ab  cdvalue   ");  // inserted at the caret, which a new text puts first
  struct Case {
    double x;
    const char* text;
  };
  for (const Case& c : {Case{1.0, "1.0000000000000000"}, Case{-0.5, "-0.50000000000000000"}}) {
    SCOPED_TRACE(c.text);
    guikit::settextboxreal8(id, c.x);
    std::string got(24, ' ');
    guikit::gettextboxcontents(id, got);
    EXPECT_EQ(stringlib::trim(got), c.text);
  }
  guikit::settextboxinteger4(id, -42);
  std::string n(4, ' ');
  guikit::gettextboxcontents(id, n);
  EXPECT_EQ(n, "-42 ");
  const int32_t many = guikit::createmultilinetextbox(10, 50, 100, 60);
  EXPECT_EQ(system.style(control(many, gk::kKindEdit)) & 0xFFFF, 0x1044u);  // wrap by default
}

TEST_F(GuikitControls, ListTextsAndTheFirstDropDownEntry) {
  const int32_t list = guikit::createlistbox_nohandler(10, 10, 100, 80);
  EXPECT_EQ(guikit::insertlistboxentry(list, -1, "first   "), 0);
  std::string text(8, '#');
  EXPECT_EQ(guikit::getlistboxtext(list, 0, text), 6);
  EXPECT_EQ(text, "first   ");
  std::string tight(5, '#');  // "first" and its NUL do not fit with room to spare
  EXPECT_EQ(guikit::getlistboxtext(list, 0, tight), -2);
  EXPECT_EQ(tight, "#####");
  const int32_t drop = guikit::createdropdownlist_nohandler(10, 100, 100, 80);
  EXPECT_EQ(guikit::insertdropdownlistentry(drop, -1, "Easy "), 0);
  EXPECT_EQ(gk::getdropdownlistselection(drop), 0);
  std::string easy(6, '#');
  EXPECT_EQ(guikit::getdropdownlisttext(drop, 0, easy), 5);
  EXPECT_EQ(easy, "Easy  ");
}

TEST_F(GuikitControls, ClipboardAndMouseHandlersByReference) {
  guikit::sendtoclipboard("clip   ");
  std::string text(8, '#');
  EXPECT_EQ(guikit::getfromclipboard(text), 4);
  EXPECT_EQ(text, "clip    ");
  int32_t got_x = -1;
  guikit::registermousehandler(platform::kMsgLButtonDown,
                               [&](int32_t* x, int32_t*) { got_x = *x; });
  guikit::setmousequeuestatus(platform::kMsgLButtonDown, true);
  user.click(h_, {12, 34});
  user.click(h_, {13, 35});
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(got_x, 13);
  int32_t x = 0, y = 0;
  gk::getmouseclick(platform::kMsgLButtonDown, &x, &y);
  EXPECT_EQ(x, 12);  // both were kept
  EXPECT_TRUE(guikit::lockmutex(gk::createmutex()));
}

TEST_F(GuikitControls, ImagesAreAllocatedCopiedScaledAndFreed) {
  guikit::setcolor(0xFFFFFF);
  guikit::setfillstyle(1, 0x0000FF);
  guikit::allocateimage(image_, 9, 9);
  EXPECT_EQ(image_.data.size(), static_cast<size_t>(gk::imagesize(9, 9)));
  gk::bar(0, 0, 10, 10);
  guikit::copyimage(0, 0, image_);
  guikit::agimage big;
  guikit::allocateimage(big, 19, 19);
  guikit::scaleimage(image_, big);
  guikit::pasteimage(100, 100, big, 0);
  ASSERT_TRUE(user.settle(h_));
  EXPECT_EQ(user.shown(h_).at(110, 110), platform::Pixel{0xFF0000});  // red, as a page pixel
  guikit::freeimage(image_);
  EXPECT_TRUE(image_.data.empty());
  EXPECT_EQ(image_.width, 0);
  EXPECT_FALSE(guikit::loadimage("no such file.bmp", big));
  EXPECT_EQ(big.width, 19);
}

}  // namespace
