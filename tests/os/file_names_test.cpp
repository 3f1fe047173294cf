#include "os/file_names.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "update/file_helpers.h"
#include "os/file_reader.h"
#include "os/file_writer.h"
#include "support/temp_dir.h"

namespace skyfw::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

// A name outside every ANSI code page: Windows' narrow file functions would
// turn it into question marks.
const std::string kWideName = "\xCE\xA9-\xE2\x82\xAC-\xE6\xBC\xA2.pkg";  // Omega, euro, a kanji

TEST(FileNames, AFileOpenedByItsUtf8NameIsListedAndFoundUnderIt) {
  TempDir dir;
  const std::string path = dir.File(kWideName);
  {
    File file(OpenFile(path, "wb"));
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite("abc", 1, 3, file.get()), 3u);
  }
  std::vector<std::string> files;
  ASSERT_EQ(ListFiles(dir.path(), files), 0);
  EXPECT_EQ(files, std::vector<std::string>{path});
  EXPECT_TRUE(IsRegularFile(path));
  EXPECT_EQ(ReadFile(path), "abc");
  std::filesystem::path native;
  ASSERT_TRUE(ToFileSystemPath(path, native));
  EXPECT_EQ(FromFileSystemPath(native), path);
}

TEST(FileNames, CreateNewRefusesAnExistingFileAndKeepsIt) {
  TempDir dir;
  const std::string path = dir.File("log.txt");
  {
    File first(OpenFile(path, "w+x"));
    ASSERT_NE(first, nullptr);
    std::fputs("first", first.get());
  }
  errno = 0;
  File second(OpenFile(path, "w+xe"));
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFile(path), "first");
  // Appending with the close-on-exec letter works wherever the letter is not
  // the runtime's own.
  {
    File append(OpenFile(path, "abe"));
    ASSERT_NE(append, nullptr);
    std::fputs(" second", append.get());
  }
  EXPECT_EQ(ReadFile(path), "first second");
}

// Text that is not UTF-8 names no file; nothing may throw on it, whatever the
// platform does with such bytes.
TEST(FileNames, MalformedUtf8IsRefusedQuietly) {
  TempDir dir;
  const std::string bad = dir.File("bad-\xC3(-\xFF.pkg");
  std::vector<std::string> files{"kept"};
  EXPECT_EQ(ListFiles(bad, files), 9);
  EXPECT_EQ(files, std::vector<std::string>{"kept"});
  EXPECT_FALSE(IsDirectory(bad));
  EXPECT_FALSE(IsRegularFile(bad));
  File file(OpenFile(bad, "rb"));
  EXPECT_EQ(file, nullptr);
}

// Were a bad byte turned into U+FFFD on the way to a wide name, it would
// name this other file: every way in must leave it alone.
TEST(FileNames, AMalformedNameNeverReachesTheFileNamedWithTheSubstitute) {
  TempDir dir;
  const std::string substitute = dir.File("name-\xEF\xBF\xBD.pkg");
  const std::string bad = dir.File("name-\xFF.pkg");
  ASSERT_EQ(WriteWholeFile(substitute, "kept"), 0);

  std::string bytes;
  EXPECT_EQ(ReadRegularFile(bad, bytes), ENOENT);
  File read(OpenFile(bad, "rb"));
  EXPECT_EQ(read, nullptr);
  const int written = WriteWholeFile(bad, "new");
  { File appended(OpenFile(bad, "ab")); }
#if defined(_WIN32)
  // Such a name cannot exist here.
  EXPECT_EQ(written, ENOENT);
#else
  // Here the bytes are the name: another file.
  EXPECT_EQ(written, 0);
#endif
  EXPECT_EQ(ReadFile(substitute), "kept");
}

TEST(FileNames, ModeLettersNoRuntimeKnowsAreRefused) {
  TempDir dir;
  for (const char* mode : {"", "x", "q+"}) {
    File file(OpenFile(dir.File("f"), mode));
    EXPECT_EQ(file, nullptr) << '"' << mode << '"';
  }
}

}  // namespace
}  // namespace skyfw::platform
