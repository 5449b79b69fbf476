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

TEST(HeadlessDialogs, TextEntriesAndSelectionsAnswerFromScriptsOrConfirm) {
  HeadlessDialogs dialogs;
  TextEntryRequest text;
  text.title = "Name";
  text.initial = "first";
  SelectionRequest pick;
  pick.options = {"a", "b"};
  dialogs.script_text("typed");
  dialogs.script_text(std::nullopt);
  dialogs.script_selection(1);
  dialogs.script_selection(std::nullopt);
  EXPECT_EQ(dialogs.text_entry(text), "typed");
  EXPECT_EQ(dialogs.text_entry(text), std::nullopt);  // scripted cancel
  EXPECT_EQ(dialogs.text_entry(text), "first");       // nothing left: Ok as it opened
  EXPECT_EQ(dialogs.selection(pick), 1);
  EXPECT_EQ(dialogs.selection(pick), std::nullopt);
  EXPECT_EQ(dialogs.selection(pick), 0);  // the first option starts selected
  pick.options.clear();
  EXPECT_EQ(dialogs.selection(pick), std::nullopt);  // nothing to choose
  EXPECT_EQ(dialogs.shown_texts().size(), 3u);
  EXPECT_EQ(dialogs.shown_selections().size(), 4u);
  dialogs.clear();
  EXPECT_TRUE(dialogs.shown_texts().empty());
  EXPECT_TRUE(dialogs.shown_selections().empty());
}

}  // namespace
}  // namespace platform
