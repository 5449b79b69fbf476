#include "platform/headless/headless_dialogs.hpp"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(HeadlessDialogs, FileAndPrintDialogsAnswerFromTheirScripts) {
  HeadlessDialogs dialogs;
  FileDialogRequest save;
  save.save = true;
  save.filters = {{"Bitmap files (*.bmp)", "*.BMP"}};
  dialogs.script_file("/tmp/first");
  dialogs.script_file(std::nullopt);
  dialogs.script_print(PrintDialogAnswer{"office", ""});
  EXPECT_EQ(dialogs.file_dialog(save), "/tmp/first");
  EXPECT_EQ(dialogs.file_dialog(save), std::nullopt);  // scripted cancel
  EXPECT_EQ(dialogs.file_dialog(save), std::nullopt);  // nothing left: cancel
  PrintDialogRequest print;
  print.printer = "office";
  const auto chosen = dialogs.print_dialog(print);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->printer, "office");
  EXPECT_FALSE(dialogs.print_dialog(print).has_value());
  const auto files = dialogs.shown_files();
  ASSERT_EQ(files.size(), 3u);
  const std::vector<FileFilter> bmp{{"Bitmap files (*.bmp)", "*.BMP"}};
  EXPECT_EQ(files[0].filters, bmp);
  EXPECT_EQ(dialogs.shown_prints().size(), 2u);
  EXPECT_TRUE(dialogs.shown().empty());  // message boxes are counted apart
  dialogs.clear();
  EXPECT_TRUE(dialogs.shown_files().empty());
  EXPECT_TRUE(dialogs.shown_prints().empty());
}

}  // namespace
}  // namespace platform
