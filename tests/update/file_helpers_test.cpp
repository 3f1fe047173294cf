#include "update/file_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(FileHelpersTest, PathTests) {
  TempDir dir;
  std::string file = dir.File("a.pkg");
  WriteFile(file, "x");
  EXPECT_TRUE(IsDirectory(dir.path()));
  EXPECT_FALSE(IsRegularFile(dir.path()));
  EXPECT_TRUE(IsRegularFile(file));
  EXPECT_FALSE(IsDirectory(file));
  EXPECT_FALSE(IsDirectory(dir.File("missing")));
  EXPECT_FALSE(IsRegularFile(dir.File("missing")));
  EXPECT_FALSE(IsRegularFile(""));
}

TEST(FileHelpersTest, ListFilesOfAMissingPathLeavesTheListAlone) {
  TempDir dir;
  std::vector<std::string> files{"kept"};
  EXPECT_EQ(ListFiles(dir.File("missing"), files), 9);
  EXPECT_EQ(files, std::vector<std::string>{"kept"});
  EXPECT_EQ(ListFiles("", files), 9);
}

TEST(FileHelpersTest, ListFilesOfAFileListsItAlone) {
  TempDir dir;
  std::string file = dir.File("one.pkg");
  WriteFile(file, "x");
  std::vector<std::string> files{"replaced"};
  EXPECT_EQ(ListFiles(file, files), 0);
  EXPECT_EQ(files, std::vector<std::string>{file});
}

TEST(FileHelpersTest, ListFilesOfAnEmptyDirectory) {
  TempDir dir;
  std::vector<std::string> files;
  EXPECT_EQ(ListFiles(dir.path(), files), 0);
  EXPECT_TRUE(files.empty());
}

TEST(FileHelpersTest, ListFilesGivesOneLevelInByteOrder) {
  TempDir dir;
  for (const char* name : {"b.pkg", "a.pkg", "B.pkg", "_x", "\xC3\xA9.pkg"}) {
    WriteFile(dir.File(name), "x");
  }
  std::filesystem::create_directory(dir.File("sub"));
  WriteFile(dir.File("sub") + kPathSeparator + "deeper.pkg", "x");

  std::vector<std::string> files;
  EXPECT_EQ(ListFiles(dir.path(), files), 0);
#if defined(_WIN32)
  // Windows names files without regard to case: writing "B.pkg" rewrote
  // "b.pkg", which keeps its name.
  const std::vector<std::string> expected{dir.File("_x"), dir.File("a.pkg"), dir.File("b.pkg"),
                                          dir.File("sub"), dir.File("\xC3\xA9.pkg")};
#else
  const std::vector<std::string> expected{dir.File("B.pkg"), dir.File("_x"),
                                          dir.File("a.pkg"), dir.File("b.pkg"),
                                          dir.File("sub"),   dir.File("\xC3\xA9.pkg")};
#endif
  EXPECT_EQ(files, expected);
}

TEST(FileHelpersTest, BaseName) {
  struct Case {
    std::string path;  // "/" stands for this platform's separator, "|" for the other one
    std::string out;
    bool removed;
  };
  const Case cases[] = {
      {"/fw/x.pkg", "x.pkg", true},
      {"x.pkg", "x.pkg", false},
      {"/fw/", "/fw/", false},
      {"/x.pkg", "x.pkg", true},
      {"fw//x.pkg", "x.pkg", true},
      {"C:|fw|x.pkg", "C:|fw|x.pkg", false},  // not this platform's separator
  };
  auto native = [](std::string text) {
    const char other = kPathSeparator == '/' ? '\\' : '/';
    for (char& c : text) c = c == '/' ? kPathSeparator : c == '|' ? other : c;
    return text;
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(BaseName(native(c.path), out), c.removed) << c.path;
    EXPECT_EQ(out, native(c.out)) << c.path;
  }
  std::string out = "unchanged";
  EXPECT_FALSE(BaseName("", out));
  EXPECT_EQ(out, "unchanged");
}

TEST(FileHelpersTest, VersionTail) {
  struct Case {
    const char* text;
    const char* tail;
  };
  const Case cases[] = {
      {"Version 1.2.3", "1.2.3"}, {"1.2.3a", ""}, {".5", ".5"}, {"", ""},
      {"1.2.3", "1.2.3"},         {"v10", "10"},  {"x.", "."},  {"abc", ""},
      {"1.2 3.4", "3.4"},         {"1-2", "2"},
  };
  for (const Case& c : cases) EXPECT_EQ(VersionTail(c.text), c.tail) << c.text;
}

TEST(FileHelpersTest, EqualsNoCase) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"SKIP", "skip", true},
      {"skip", "skip ", false},
      {"", "", true},
      {"a-1", "A-1", true},
      {"[", "{", false},
      {"@", "`", false},
      {"\xC3\x89", "\xC3\xA9", false},  // only ASCII letters fold
      {"Zz", "zZ", true},
  };
  for (const Case& c : cases) EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " " << c.b;
}

}  // namespace
}  // namespace skyfw
