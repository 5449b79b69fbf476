// The windowed file dialog played by the scripted user: where it opens, what it lists, how a
// file is chosen by mouse and by keyboard, and what it asks before replacing a file.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "gfx_pages.hpp"
#include "platform/image/bmp.hpp"
#include "platform/text/font.hpp"
#include "platform/windowed/file_dialog.hpp"
#include "support/temp_dir.hpp"
#include "windowed_fixture.hpp"

namespace {

using namespace platform;
namespace fs = std::filesystem;

class WindowedFileDialog : public platform_test::WindowedHost {
 protected:
  void SetUp() override {
    WindowedHost::SetUp();
    for (const char* f : {"data.dat", "Notes.DAT", "README", "report.txt", "sub/inner.dat"}) {
      fs::create_directories((dir.path() / f).parent_path());
      dir.write(f, "1 2\n");
    }
    fs::create_directory(dir.path() / "sub" / "deeper");
    request.filters = {{"Data files", "*.dat"}, {"All Files", "*.*"}};
    request.initial_folder = dir.path().string() + "/";
    request.initial_name = "data.dat";
  }

  // Opens the dialog on a thread of its own; the dialog window.
  Hwnd open() {
    asker = ask([this] { answer = dialogs.file_dialog(request); });
    return next_dialog();
  }
  // The answer once the dialog has ended.
  std::optional<std::string> result() {
    EXPECT_TRUE(finished(asker));
    return answer;
  }

  // The n-th control of a class, in the order the dialog made them.
  Hwnd nth(Hwnd d, const char* cls, int n) {
    for (Hwnd c : system.children(d))
      if (system.class_name(c) == cls && n-- == 0) return c;
    return 0;
  }
  Hwnd list(Hwnd d) { return nth(d, kClassListBox, 0); }
  Hwnd name_field(Hwnd d) { return nth(d, kClassEdit, 0); }
  Hwnd types(Hwnd d) { return nth(d, kClassComboBox, 0); }
  std::string folder_line(Hwnd d) { return system.text(nth(d, kClassStatic, 1)); }

  std::vector<std::string> entries(Hwnd box, uint32_t count_msg, uint32_t text_msg) {
    std::vector<std::string> out(size_t(system.send_message(box, count_msg)));
    for (size_t i = 0; i < out.size(); ++i)
      system.send_message(box, text_msg, i, reinterpret_cast<int64_t>(&out[i]));
    return out;
  }
  std::vector<std::string> listed(Hwnd d) {
    return entries(list(d), kMsgLbGetCount, kMsgLbGetText);
  }

  // The middle of the list's entry `text`, in the dialog's client coordinates.
  Point row(Hwnd d, const std::string& text) {
    const std::vector<std::string> all = listed(d);
    const int32_t i = int32_t(std::find(all.begin(), all.end(), text) - all.begin());
    EXPECT_LT(i, int32_t(all.size())) << text << " is not listed";
    const int32_t h = Font::default_gui()->height() + 2;
    const Point at = system.offset_in_root(list(d));
    return {at.x + 20, at.y + 2 + i * h + h / 2};
  }
  void double_click(Hwnd d, const std::string& text) {
    user.double_click(d, row(d, text));
    user.settle(d);
  }
  void type(Hwnd d, const std::string& text) {
    user.type_text(d, text);
    user.settle(d);
  }
  // Clicks into the name field, erases what it holds and types `text`.
  void retype(Hwnd d, const std::string& text) {
    click(name_field(d));
    key(d, kVkEnd);
    for (size_t n = system.text(name_field(d)).size(); n > 0; --n) user.press_key(d, kVkBack);
    type(d, text);
  }

  testsupport::TempDir dir;
  FileDialogRequest request;
  std::shared_ptr<Thread> asker;
  std::optional<std::string> answer;
};

const std::vector<std::string> kDataFiles{"../", "sub/", "data.dat", "Notes.DAT"};

TEST_F(WindowedFileDialog, OpensInTheInitialFolderWithTheNameAndFiltersOfTheRequest) {
  const Hwnd d = open();
  ASSERT_NE(d, 0u);
  EXPECT_EQ(system.text(d), "Open");
  EXPECT_EQ(folder_line(d), dir.path().string());
  EXPECT_EQ(system.text(name_field(d)), "data.dat");
  EXPECT_EQ(system.focus(), name_field(d));
  EXPECT_EQ(entries(types(d), kMsgCbGetCount, kMsgCbGetLbText),
            (std::vector<std::string>{"Data files", "All Files"}));
  EXPECT_EQ(system.send_message(types(d), kMsgCbGetCurSel), 0);
  EXPECT_EQ(listed(d), kDataFiles);
  EXPECT_NE(control(d, kClassButton, "Open"), 0u);
  click(control(d, kClassButton, "Cancel"));
  EXPECT_EQ(result(), std::nullopt);
}

TEST_F(WindowedFileDialog, StartsWhereTheRequestSaysElseInTheCurrentDirectory) {
  struct Case {
    std::string folder, name;
    fs::path shown;
    std::string field;
  };
  const std::string d = dir.path().string();
  const Case cases[] = {
      {d + "\\", "", dir.path(), ""},  // a folder given Windows-style
      {"", d + "/sub/inner.dat", dir.path() / "sub", "inner.dat"},
      {d + "/missing", "x.dat", fs::current_path(), "x.dat"},
      {d, "missing/x.dat", dir.path(), "missing/x.dat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + " | " + c.name);
    request.initial_folder = c.folder;
    request.initial_name = c.name;
    const Hwnd dlg = open();
    ASSERT_NE(dlg, 0u);
    EXPECT_EQ(folder_line(dlg), c.shown.string());
    EXPECT_EQ(system.text(name_field(dlg)), c.field);
    key(dlg, kVkEscape);
    EXPECT_EQ(result(), std::nullopt);
  }
}

TEST_F(WindowedFileDialog, ChoosesAFileByDoubleClickOrByItsTypedNameAndEnter) {
  Hwnd d = open();
  ASSERT_NE(d, 0u);
  double_click(d, "Notes.DAT");
  EXPECT_EQ(result(), dir.file("Notes.DAT"));
  d = open();
  ASSERT_NE(d, 0u);
  type(d, "report.txt");  // replaces the selected initial name; not listed, chosen all the same
  key(d, kVkReturn);
  EXPECT_EQ(result(), dir.file("report.txt"));
}

TEST_F(WindowedFileDialog, EntersSubFoldersAndChoosesThereLeavingTheCurrentDirectory) {
  const fs::path cwd = fs::current_path();
  const Hwnd d = open();
  ASSERT_NE(d, 0u);
  double_click(d, "sub/");
  EXPECT_EQ(folder_line(d), (dir.path() / "sub").string());
  EXPECT_EQ(listed(d), (std::vector<std::string>{"../", "deeper/", "inner.dat"}));
  // Up again by keyboard: select "../" and press Enter while the list has the focus.
  user.click(d, row(d, "../"));
  key(d, kVkReturn);
  EXPECT_EQ(folder_line(d), dir.path().string());
  // A typed folder part is followed too; going through the list kept the name typed before.
  EXPECT_EQ(system.text(name_field(d)), "data.dat");
  retype(d, "sub/inner.dat");
  click(control(d, kClassButton, "Open"));
  EXPECT_EQ(result(), dir.file("sub/inner.dat"));
  EXPECT_EQ(fs::current_path(), cwd);
}

TEST_F(WindowedFileDialog, TypedPatternsAndOtherTypesListTheFolderAgain) {
  const Hwnd d = open();
  ASSERT_NE(d, 0u);
  type(d, "*.TXT");
  key(d, kVkReturn);  // filters instead of choosing
  EXPECT_EQ(listed(d), (std::vector<std::string>{"../", "sub/", "report.txt"}));
  click(types(d));  // opens the drop-down list
  key(d, kVkDown);
  key(d, kVkReturn);  // closes it on "All Files"
  EXPECT_EQ(system.send_message(types(d), kMsgCbGetCurSel), 1);
  EXPECT_EQ(
      listed(d),
      (std::vector<std::string>{"../", "sub/", "data.dat", "Notes.DAT", "README", "report.txt"}));
  double_click(d, "README");
  EXPECT_EQ(result(), dir.file("README"));
}

TEST_F(WindowedFileDialog, CancelTheCloseBoxAndEscapeChooseNothing) {
  for (const char* how : {"Cancel", "close box", "Escape"}) {
    SCOPED_TRACE(how);
    const Hwnd d = open();
    ASSERT_NE(d, 0u);
    answer_by(d, how);
    EXPECT_EQ(result(), std::nullopt);
  }
}

TEST_F(WindowedFileDialog, SavingOverAFileAsksAndNoKeepsTheDialogOpen) {
  request.save = true;
  request.overwrite_prompt = true;
  request.initial_name = "";
  const Hwnd d = open();
  ASSERT_NE(d, 0u);
  EXPECT_EQ(system.text(d), "Save As");
  type(d, "data.dat");
  click(control(d, kClassButton, "Save"));
  const Hwnd question = next_dialog();
  ASSERT_NE(question, 0u);
  EXPECT_EQ(system.text(question), "Save As");
  EXPECT_EQ(system.text(control(question, kClassStatic)),
            "data.dat already exists.\nDo you want to replace it?");
  click(control(question, kClassButton, "No"));
  EXPECT_TRUE(system.is_window(d));
  EXPECT_FALSE(asker->ended().wait(0));
  key(d, kVkReturn);  // asks again
  const Hwnd again = next_dialog();
  ASSERT_NE(again, 0u);
  click(control(again, kClassButton, "Yes"));
  EXPECT_EQ(result(), dir.file("data.dat"));
  EXPECT_EQ(dir.read("data.dat"), "1 2\n");  // the dialog only chooses; it writes nothing
}

TEST_F(WindowedFileDialog, RefusedNamesAndUnreadableFoldersAreToldAndTheDialogStays) {
  request.file_must_exist = true;
  request.path_must_exist = true;
  const Hwnd d = open();
  ASSERT_NE(d, 0u);
  type(d, "nosuch.dat");
  key(d, kVkReturn);
  const Hwnd missing = next_dialog();
  ASSERT_NE(missing, 0u);
  EXPECT_EQ(system.text(control(missing, kClassStatic)),
            "nosuch.dat\nFile not found.\nCheck the file name and try again.");
  click(control(missing, kClassButton, "OK"));
  // A folder that went away after it was listed.
  fs::remove_all(dir.path() / "sub");
  double_click(d, "sub/");
  const Hwnd gone = next_dialog();
  ASSERT_NE(gone, 0u);
  EXPECT_EQ(system.text(control(gone, kClassStatic))
                .rfind((dir.path() / "sub").string() + " is not accessible.", 0),
            0u);
  click(control(gone, kClassButton, "OK"));
  EXPECT_EQ(folder_line(d), dir.path().string());
  EXPECT_EQ(listed(d), kDataFiles);
  key(d, kVkEscape);
  EXPECT_EQ(result(), std::nullopt);
}

using gfx_test::count;

TEST_F(WindowedFileDialog, LooksLikeAClassicFileDialogInItsBitmap) {
  const Hwnd d = open();
  ASSERT_NE(d, 0u);
  user.click(d, row(d, "Notes.DAT"));
  const Page page = shown(d);
  ASSERT_EQ(page.width(), system.client_rect(d).width());
  ASSERT_EQ(page.height(), system.client_rect(d).height());
  // The list: a white field whose selected row is filled in the selection colour.
  const Point at = system.offset_in_root(list(d));
  const Rect field = system.client_rect(list(d));
  const Rect inside{at.x + 2, at.y + 2, at.x + field.right - 2, at.y + field.bottom - 2};
  const int32_t h = Font::default_gui()->height() + 2;
  const Rect selected{inside.left, inside.top + 3 * h, inside.right, inside.top + 4 * h};
  EXPECT_GT(count(page, selected, 0x000080), selected.width() * h / 2);
  EXPECT_EQ(count(page, {inside.left, inside.top + 4 * h, inside.right, inside.bottom}, 0xFFFFFF),
            inside.width() * (inside.bottom - inside.top - 4 * h));
  testsupport::TempDir out;
  const std::string file = (out.path() / "file_dialog.bmp").string();
  ASSERT_TRUE(write_bmp24(file, page));
  const auto back = read_bmp(file);
  ASSERT_TRUE(back);
  EXPECT_EQ(count(*back, selected, 0x000080), count(page, selected, 0x000080));
  // VARQEN_FILE_DIALOG_BMP names a file to keep the picture in, for a person to look at.
  if (const char* keep = std::getenv("VARQEN_FILE_DIALOG_BMP")) write_bmp24(keep, page);
  key(d, kVkEscape);
  EXPECT_EQ(result(), std::nullopt);
}

}  // namespace
