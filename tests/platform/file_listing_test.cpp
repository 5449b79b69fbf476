#include "platform/windowed/file_listing.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.hpp"

namespace platform::file_listing {
namespace {

namespace fs = std::filesystem;

TEST(FileListing, PatternsMatchWithoutRegardToCase) {
  struct Case {
    const char* patterns;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.dat", "X.DAT", true},
      {"*.DAT", "x.dat", true},
      {"*.dat", "data.dat.bak", false},
      {"*.dat", "data.dat", true},
      {"*.dat", "dat", false},
      {"*.*", "README", true},  // every file, also without a dot
      {"*.*", "a.b.c", true},
      {"*", "anything.at.all", true},
      {"?.txt", "a.txt", true},
      {"?.txt", "ab.txt", false},
      {"?.txt", ".txt", false},
      {"?.txt", "\xC3\xA9.txt", true},                   // one character of two bytes
      {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", true},  // Latin-1 capitals fold too
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"a*c", "abcbc", true},  // the star has to take more than its first try
      {"*.dat;*.txt", "NOTES.TXT", true},
      {"*.dat; *.txt ", "notes.txt", true},  // blanks around a pattern
      {"*.dat;*.txt", "table.csv", false},
      {";;*.csv;", "table.csv", true},  // empty pieces are no patterns
      {";", "x", false},
      {"", "x", true},             // no filter: every name
      {"*.*", ".profile", false},  // hidden names only through a pattern asking for the dot
      {"*", ".profile", false},
      {".*", ".profile", true},
      {"*.dat;.*", ".x", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.patterns) + " vs " + c.name);
    EXPECT_EQ(matches_filter(c.patterns, c.name), c.match);
  }
}

TEST(FileListing, ManyStarsAgainstALongNameEndQuickly) {
  // Back-tracking over every star would take about 200^9 steps here.
  const std::string name(200, 'a');
  EXPECT_FALSE(matches_filter("*a*a*a*a*a*a*a*a*b", name));
  EXPECT_TRUE(matches_filter("*a*a*a*a*a*a*a*a*a", name));
}

TEST(FileListing, TypedPatternsAreTold) {
  EXPECT_TRUE(is_pattern("*.txt"));
  EXPECT_TRUE(is_pattern("data?.dat"));
  EXPECT_FALSE(is_pattern("data.dat"));
  EXPECT_FALSE(is_pattern(""));
}

class FolderListing : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"b.dat", "A.dat", "c.DAT", "notes.txt", "README", ".hidden.dat", "a.dat"})
      dir.write(f, "x");
    for (const char* d : {"Zeta", "alpha", "Beta.dat", ".config"})
      fs::create_directory(dir.path() / d);
  }
  static std::vector<std::string> names(const Listing& l) {
    std::vector<std::string> out;
    for (const Entry& e : l.entries) out.push_back(e.folder ? "[" + e.name + "]" : e.name);
    return out;
  }
  testsupport::TempDir dir;
};

TEST_F(FolderListing, FoldersFirstThenMatchingFilesEachByNameWithoutCase) {
  const Listing l = list_folder(dir.path(), "*.dat");
  EXPECT_EQ(l.error, "");
  const std::vector<std::string> want{
      "[..]", "[alpha]", "[Beta.dat]", "[Zeta]", "A.dat", "a.dat", "b.dat", "c.DAT"};
  EXPECT_EQ(names(l), want);
}

TEST_F(FolderListing, EveryFileListsEveryVisibleFile) {
  const std::vector<std::string> want{"[..]",
                                      "[alpha]",
                                      "[Beta.dat]",
                                      "[Zeta]",
                                      "A.dat",
                                      "a.dat",
                                      "b.dat",
                                      "c.DAT",
                                      "notes.txt",
                                      "README"};
  EXPECT_EQ(names(list_folder(dir.path(), "*.*")), want);
}

TEST_F(FolderListing, LinksListAsWhatTheyLeadTo) {
  fs::create_directory_symlink(dir.path() / "alpha", dir.path() / "link");
  fs::create_symlink(dir.path() / "gone", dir.path() / "broken.dat");
  const Listing l = list_folder(dir.path(), "*.dat");
  EXPECT_NE(std::find(l.entries.begin(), l.entries.end(), Entry{"link", true}), l.entries.end());
  EXPECT_NE(std::find(l.entries.begin(), l.entries.end(), Entry{"broken.dat", false}),
            l.entries.end());
}

TEST_F(FolderListing, TheRootHasNoWayUp) {
  const Listing root = list_folder("/", "*.*");
  ASSERT_EQ(root.error, "");
  ASSERT_FALSE(root.entries.empty());
  EXPECT_NE(root.entries.front().name, "..");
  const Listing below = list_folder(dir.path() / "alpha", "*.*");
  EXPECT_EQ(below.entries, (std::vector<Entry>{Entry{"..", true}}));
}

TEST_F(FolderListing, AnUnreadableFolderIsAnErrorNamingIt) {
  for (const fs::path& bad : {dir.path() / "missing", dir.path() / "README"}) {
    SCOPED_TRACE(bad.string());
    const Listing l = list_folder(bad, "*.*");
    EXPECT_TRUE(l.entries.empty());
    EXPECT_NE(l.error.find(bad.string() + " is not accessible."), std::string::npos) << l.error;
  }
}

TEST(FileListing, ComposedPathsAreAbsoluteAndNormal) {
  struct Case {
    const char* typed;
    const char* path;
  };
  const Case cases[] = {
      {"x.dat", "/a/b/x.dat"},
      {"sub/x.dat", "/a/b/sub/x.dat"},
      {"/etc/x.dat", "/etc/x.dat"},
      {"../x.dat", "/a/x.dat"},
      {"./x.dat", "/a/b/x.dat"},
      {"sub//x.dat", "/a/b/sub/x.dat"},
      {"sub/", "/a/b/sub"},
      {"", "/a/b"},
      {"..", "/a"},
      {"../../../..", "/"},
      {"/", "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(compose("/a/b", c.typed), fs::path(c.path));
  }
  EXPECT_EQ(parent_of("/a/b"), fs::path("/a"));
  EXPECT_EQ(parent_of("/a"), fs::path("/"));
  EXPECT_EQ(parent_of("/"), fs::path("/"));
}

}  // namespace
}  // namespace platform::file_listing
