// The toolkit's file, text-entry and selection dialogs on the headless provider.
#include "toolkit/dialogs.hpp"

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "controls_fixture.hpp"
#include "platform/thread_id.hpp"
#include "toolkit/buttons.hpp"
#include "toolkit/gk_wndproc.hpp"
#include "toolkit/text_conversion.hpp"

namespace {

using platform::FileFilter;
using toolkit_test::ControlsWindow;

using Dialogs = ControlsWindow;

TEST_F(Dialogs, NullTextShowsNothing) {
  gk::dlgmessage(1, nullptr);
  EXPECT_EQ(gk::dlgyesno(1, nullptr), 0);
  EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(Dialogs, FileFilterListFollowsDescriptionAndExtension) {
  const std::string long_desc(200, 'd');
  const std::string long_ext = "*." + std::string(38, 'e');
  struct Case {
    const char* name;
    const char* description;
    const char* extension;
    std::vector<FileFilter> filters;
  };
  const FileFilter all{"All Files", "*.*"};
  const Case cases[] = {
      {"both", "Data files", "*.dat", {{"Data files", "*.dat"}, all}},
      {"extension alone", nullptr, "*.dat", {{"*.datfiles", "*.dat"}, all}},
      {"empty description", "", "*.dat", {{"*.datfiles", "*.dat"}, all}},
      {"description alone", "Data files", "", {all}},
      {"neither", nullptr, nullptr, {all}},
      {"long description", long_desc.c_str(), "*.x", {{long_desc.substr(0, 128), "*.x"}, all}},
      {"long extension",
       nullptr,
       long_ext.c_str(),
       {{long_ext.substr(0, 32) + "files", long_ext}, all}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.clear();
    char path[64] = "";
    EXPECT_EQ(gk::dlgopenfile("Open data", path, sizeof path, c.description, c.extension), 0);
    const auto shown = dialogs.shown_files();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].filters, c.filters);
    EXPECT_EQ(shown[0].title, "Open data");
    EXPECT_FALSE(shown[0].save);
    EXPECT_EQ(shown[0].owner, h_);
  }
}

TEST_F(Dialogs, InitialFolderOrFileName) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  for (const Case c : {Case{"C:\\data\\", "C:\\data\\", ""},
                       Case{"/home/u/", "/home/u/", ""},
                       Case{"model.dat", "", "model.dat"},
                       Case{"", "", ""}}) {
    SCOPED_TRACE(c.path);
    dialogs.clear();
    char path[64];
    std::strcpy(path, c.path);
    gk::dlgsavefile(nullptr, path, sizeof path, nullptr, nullptr);
    const auto shown = dialogs.shown_files();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].save);
    EXPECT_EQ(shown[0].initial_folder, c.folder);
    EXPECT_EQ(shown[0].initial_name, c.name);
  }
}

TEST_F(Dialogs, CancelOrAPathTooLongLeavesTheBufferByteForByte) {
  char path[16];
  std::memcpy(path, "start\0garbage!!", sizeof path);
  char before[16];
  std::memcpy(before, path, sizeof path);
  dialogs.script_file(std::nullopt);
  EXPECT_EQ(gk::dlgopenfile(nullptr, path, sizeof path, nullptr, nullptr), 0);
  EXPECT_EQ(std::memcmp(path, before, sizeof path), 0);
  dialogs.script_file("/a/path/of/16/by");  // 16 bytes: no room for the NUL
  EXPECT_EQ(gk::dlgopenfile(nullptr, path, sizeof path, nullptr, nullptr), 0);
  EXPECT_EQ(std::memcmp(path, before, sizeof path), 0);
  dialogs.script_file("/a/path/of/15/b");
  EXPECT_EQ(gk::dlgopenfile(nullptr, path, sizeof path, nullptr, nullptr), 1);
  EXPECT_STREQ(path, "/a/path/of/15/b");
  EXPECT_EQ(gk::dlgopenfile(nullptr, nullptr, 10, nullptr, nullptr), 0);
  EXPECT_EQ(dialogs.shown_files().size(), 3u);  // a null path shows nothing
}

TEST_F(Dialogs, FileDialogRunsInlineOnTheWindowThreadElseOnATemporaryThread) {
  char path[32] = "";
  gk::dlgopenfile(nullptr, path, sizeof path, nullptr, nullptr);
  gk::run_on_window_thread(
      rec_,
      [&]() -> int64_t { return gk::dlgopenfile(nullptr, path, sizeof path, nullptr, nullptr); },
      0);
  const auto threads = dialogs.file_threads();
  ASSERT_EQ(threads.size(), 2u);
  EXPECT_NE(threads[0], platform::current_thread_id());
  EXPECT_NE(threads[0], rec_->window_thread_id.load());
  EXPECT_EQ(threads[1], rec_->window_thread_id.load());
}

TEST_F(Dialogs, TextEntryShowsTheBufferAndCopiesBackOnlyOnOk) {
  char buffer[32] = "old text";
  dialogs.script_text("new text");
  EXPECT_TRUE(gk::dlgrequesttext(buffer, sizeof buffer, "Name", "Give a name"));
  EXPECT_STREQ(buffer, "new text");
  dialogs.script_text(std::nullopt);
  char before[32];
  std::memcpy(before, buffer, sizeof buffer);
  EXPECT_FALSE(gk::dlgrequestpassword(buffer, sizeof buffer, nullptr, nullptr));
  EXPECT_EQ(std::memcmp(buffer, before, sizeof buffer), 0);
  const auto shown = dialogs.shown_texts();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].title, "Name");
  EXPECT_TRUE(shown[0].has_prompt);
  EXPECT_EQ(shown[0].prompt, "Give a name");
  EXPECT_EQ(shown[0].initial, "old text");
  EXPECT_FALSE(shown[0].password);
  EXPECT_EQ(shown[1].title, "Input Request");
  EXPECT_FALSE(shown[1].has_prompt);
  EXPECT_TRUE(shown[1].password);
  EXPECT_EQ(shown[1].initial, "new text");
}

TEST_F(Dialogs, TextEntryCopiesAreBoundedAndNeverSplitACharacter) {
  struct Case {
    int32_t length;
    const char* answer;
    const char* kept;
  };
  // "é" is two bytes, "€" three.
  for (const Case c : {Case{5, "abc\xC3\xA9", "abc"},
                       Case{6, "abc\xC3\xA9", "abc\xC3\xA9"},
                       Case{4, "\xE2\x82\xAC\xE2\x82\xAC", "\xE2\x82\xAC"},
                       Case{3, "\xE2\x82\xAC", ""},
                       Case{1, "anything", ""}}) {
    SCOPED_TRACE(c.length);
    std::vector<char> buffer(static_cast<size_t>(c.length) + 1, '#');
    buffer[0] = '\0';
    dialogs.script_text(c.answer);
    ASSERT_TRUE(gk::dlgrequesttext(buffer.data(), c.length, nullptr, nullptr));
    EXPECT_STREQ(buffer.data(), c.kept);
    EXPECT_EQ(buffer[static_cast<size_t>(c.length)], '#');  // nothing past the buffer
  }
  EXPECT_FALSE(gk::dlgrequesttext(nullptr, 10, nullptr, nullptr));
  char one[1] = {'x'};
  EXPECT_FALSE(gk::dlgrequesttext(one, 0, nullptr, nullptr));
  EXPECT_EQ(one[0], 'x');
}

TEST_F(Dialogs, LongTitlesShowAtMost50Units) {
  const std::string title(60, 't');
  char buffer[8] = "";
  gk::dlgrequesttext(buffer, sizeof buffer, title.c_str(), "");
  const auto shown = dialogs.shown_texts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, std::string(50, 't'));
  EXPECT_TRUE(shown[0].has_prompt);  // an empty prompt still makes the prompt line
}

TEST_F(Dialogs, SelectionStartsOnTheFirstOptionAndAnswersTheIndex) {
  const char options[] = "red\0green\0blue\0";
  EXPECT_EQ(gk::dlgrequestselection(options, "Colour", nullptr), 0);  // Ok at once
  dialogs.script_selection(2);
  EXPECT_EQ(gk::dlgrequestselection(options, nullptr, "Pick"), 2);
  dialogs.script_selection(std::nullopt);
  EXPECT_EQ(gk::dlgrequestselection(options, nullptr, nullptr), -1);
  const auto shown = dialogs.shown_selections();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].options, (std::vector<std::string>{"red", "green", "blue"}));
  EXPECT_EQ(shown[0].title, "Colour");
  EXPECT_EQ(shown[1].prompt, "Pick");
  EXPECT_EQ(gk::dlgrequestselection("\0", nullptr, nullptr), -1);  // nothing to choose
}

// A provider whose text entries answer with their own initial text marked, and wait until
// two of them are open at once.
class EchoDialogs : public platform::HeadlessDialogs {
 public:
  std::optional<std::string> text_entry(const platform::TextEntryRequest& request) override {
    {
      std::unique_lock<std::mutex> g(m_);
      ++open_;
      cv_.notify_all();
      cv_.wait_for(g, std::chrono::seconds(5), [&] { return open_ >= 2; });
    }
    return request.initial + "!";
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  int open_ = 0;
};

TEST(DialogParameters, TwoTextEntriesFromTwoThreadsEachGetTheirOwnText) {
  gk::reset();
  platform::HeadlessBackend backend;
  EchoDialogs echo;
  platform::WindowSystem system{backend, echo};
  gk::attach(&system);
  char a[16] = "alpha", b[16] = "beta";
  std::thread ta([&] { gk::dlgrequesttext(a, sizeof a, "A", nullptr); });
  std::thread tb([&] { gk::dlgrequesttext(b, sizeof b, "B", nullptr); });
  ta.join();
  tb.join();
  EXPECT_STREQ(a, "alpha!");
  EXPECT_STREQ(b, "beta!");
  gk::reset();
}

}  // namespace

namespace {

// In the ANSI code page the toolkit's texts are Windows-1252 bytes; the platform always
// speaks UTF-8.
TEST_F(Dialogs, AnsiTextIsConvertedBothWays) {
  gk::useansitext();
  dialogs.script_text("\xC3\xA9t\xC3\xA9");  // "été" typed
  char buffer[8] = "\xE9";                   // "é"
  EXPECT_TRUE(gk::dlgrequesttext(buffer, sizeof buffer, "Caf\xE9", nullptr));
  EXPECT_STREQ(buffer, "\xE9t\xE9");
  gk::dlgmessage(1, "na\xEFve");
  const int32_t id = gk::createbutton(0, 0, 60, 20, "\xC0 bient\xF4t", nullptr);
  gk::reset_text_conversion();
  EXPECT_EQ(dialogs.shown_texts().at(0).title, "Caf\xC3\xA9");
  EXPECT_EQ(dialogs.shown_texts().at(0).initial, "\xC3\xA9");
  EXPECT_EQ(dialogs.shown().at(0).text, "na\xC3\xAFve");
  EXPECT_EQ(system.text(control(id)), "\xC3\x80 bient\xC3\xB4t");
}

}  // namespace
