#include "platform/windowed/file_choice.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.hpp"

namespace platform::file_choice {
namespace {

namespace fs = std::filesystem;

// What a confirmed name leads to in a folder holding data.dat and sub/inner.dat. (The texts of
// the questions and refusals are checked where the dialog shows them.)
TEST(FileChoice, NamesFoldersAndPatternsLeadWhereTheyNameWithinTheRequestsChecks) {
  testsupport::TempDir dir;
  dir.write("data.dat", "x");
  fs::create_directory(dir.path() / "sub");
  dir.write("sub/inner.dat", "x");
  FileDialogRequest plain, must_exist, save;
  must_exist.file_must_exist = must_exist.path_must_exist = true;
  save.save = save.overwrite_prompt = save.path_must_exist = true;
  struct Case {
    const FileDialogRequest& request;
    const char* typed;
    Action action;
    const char* path;  // below the folder
    const char* pattern;
  };
  const Case cases[] = {
      {plain, "   ", Action::Stay, "", ""},
      {plain, " data.dat ", Action::Choose, "data.dat", ""},
      {plain, "sub/../sub/inner.dat", Action::Choose, "sub/inner.dat", ""},
      {plain, "sub/", Action::Enter, "sub", ""},
      {plain, "sub/..", Action::Enter, "", ""},
      {plain, "*.txt", Action::Filter, "", "*.txt"},
      {plain, "sub/*.d?t", Action::Filter, "sub", "*.d?t"},
      {plain, "nosuch/*.dat", Action::Refuse, "nosuch", ""},
      {plain, "nosuch/", Action::Refuse, "nosuch", ""},  // a folder that is not there
      {plain, "nosuch/new.dat", Action::Choose, "nosuch/new.dat", ""},  // nothing checked
      {must_exist, "new.dat", Action::Refuse, "new.dat", ""},
      {must_exist, "nosuch/a.dat", Action::Refuse, "nosuch/a.dat", ""},
      {save, "data.dat", Action::Confirm, "data.dat", ""},
      {save, "new.dat", Action::Choose, "new.dat", ""},
      {save, "nosuch/a.dat", Action::Refuse, "nosuch/a.dat", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("typed \"") + c.typed + "\"");
    const Outcome o = confirm_name(c.request, dir.path(), c.typed);
    EXPECT_EQ(o.action, c.action);
    if (o.action != Action::Stay) {
      const std::string rel = c.path;
      EXPECT_EQ(o.path, rel.empty() ? dir.path() : (dir.path() / rel).lexically_normal());
    }
    EXPECT_EQ(o.pattern, c.pattern);
    EXPECT_EQ(o.message.empty(), c.action != Action::Refuse && c.action != Action::Confirm);
  }
  const Outcome path = confirm_name(must_exist, dir.path(), "nosuch/a.dat");
  EXPECT_EQ(path.message,
            (dir.path() / "nosuch/a.dat").string() +
                "\nPath does not exist.\nCheck the path and try again.");
  const Outcome absolute = confirm_name(plain, "/", dir.file("data.dat"));
  EXPECT_EQ(absolute.path, dir.path() / "data.dat");
}

}  // namespace
}  // namespace platform::file_choice
