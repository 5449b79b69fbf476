#include "platform/windowed/file_choice.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.hpp"

namespace platform::file_choice {
namespace {

namespace fs = std::filesystem;

class ConfirmName : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("data.dat", "x");
    fs::create_directory(dir.path() / "sub");
    dir.write("sub/inner.dat", "x");
  }
  fs::path at(const char* rel) const { return rel[0] ? dir.path() / rel : dir.path(); }
  testsupport::TempDir dir;
};

TEST_F(ConfirmName, NamesFoldersAndPatternsLeadWhereTheyName) {
  struct Case {
    const char* typed;
    Action action;
    const char* path;  // below the folder shown
    const char* pattern;
  };
  const Case cases[] = {
      {"", Action::Stay, "", ""},
      {"   ", Action::Stay, "", ""},
      {"data.dat", Action::Choose, "data.dat", ""},
      {" data.dat ", Action::Choose, "data.dat", ""},
      {"sub/inner.dat", Action::Choose, "sub/inner.dat", ""},
      {"sub/../data.dat", Action::Choose, "data.dat", ""},
      {"sub", Action::Enter, "sub", ""},
      {"sub/", Action::Enter, "sub", ""},
      {"*.txt", Action::Filter, "", "*.txt"},
      {"sub/*.d?t", Action::Filter, "sub", "*.d?t"},
      {"new.dat", Action::Choose, "new.dat", ""},  // no checks asked
      {"nosuch/", Action::Refuse, "nosuch", ""},
      {"nosuch/*.dat", Action::Refuse, "nosuch", ""},
  };
  FileDialogRequest open;
  const fs::path shown = dir.path();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("typed \"") + c.typed + "\"");
    const Outcome o = confirm_name(open, shown, c.typed);
    EXPECT_EQ(o.action, c.action);
    if (c.action != Action::Stay) {
      EXPECT_EQ(o.path, at(c.path));
    }
    EXPECT_EQ(o.pattern, c.pattern);
  }
  const Outcome absolute = confirm_name(open, "/", (dir.path() / "data.dat").string());
  EXPECT_EQ(absolute.action, Action::Choose);
  EXPECT_EQ(absolute.path, dir.path() / "data.dat");
}

TEST_F(ConfirmName, TheRequestsChecksRefuseOrAsk) {
  FileDialogRequest must_exist;
  must_exist.file_must_exist = true;
  must_exist.path_must_exist = true;
  FileDialogRequest save;
  save.save = true;
  save.overwrite_prompt = true;
  save.path_must_exist = true;
  struct Case {
    const char* what;
    const FileDialogRequest& request;
    const char* typed;
    Action action;
    const char* message;
  };
  const std::string missing_folder = (dir.path() / "nosuch" / "a.dat").string();
  const Case cases[] = {
      {"open existing", must_exist, "data.dat", Action::Choose, ""},
      {"open missing",
       must_exist,
       "new.dat",
       Action::Refuse,
       "new.dat\nFile not found.\nCheck the file name and try again."},
      {"open missing folder",
       must_exist,
       "nosuch/a.dat",
       Action::Refuse,
       "\nPath does not exist.\nCheck the path and try again."},
      {"save existing",
       save,
       "data.dat",
       Action::Confirm,
       "data.dat already exists.\nDo you want to replace it?"},
      {"save new", save, "new.dat", Action::Choose, ""},
      {"save missing folder",
       save,
       "nosuch/a.dat",
       Action::Refuse,
       "\nPath does not exist.\nCheck the path and try again."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome o = confirm_name(c.request, dir.path(), c.typed);
    EXPECT_EQ(o.action, c.action);
    EXPECT_EQ(o.path, dir.path() / c.typed);
    const bool after_path = std::string(c.message).rfind('\n', 0) == 0;  // names the path first
    EXPECT_EQ(o.message, after_path ? missing_folder + c.message : std::string(c.message));
  }
  FileDialogRequest save_quietly = save;
  save_quietly.overwrite_prompt = false;
  EXPECT_EQ(confirm_name(save_quietly, dir.path(), "data.dat").action, Action::Choose);
}

}  // namespace
}  // namespace platform::file_choice
