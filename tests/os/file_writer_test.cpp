// The one writer: what it refuses, what it keeps, and that it leaves nothing
// behind.
#include "os/file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "os/file_reader.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace skyfw::testing {
namespace {

namespace fs = std::filesystem;

class FileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.File("work");
    fs::create_directory(folder_);
  }

  // Names in the work folder, to show that no temporary file stayed.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string File(const std::string& name) const { return folder_ + "/" + name; }

  TempDir dir_;
  std::string folder_;
};

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status.st_mode;
}

TEST_F(FileWriterTest, NewFileLandsWholeWithTheUsualMode) {
  const mode_t mask = ::umask(022);
  EXPECT_EQ(platform::WriteWholeFile(File("out"), std::string_view("new bytes")), 0);
  ::umask(mask);
  EXPECT_EQ(ReadFile(File("out")), "new bytes");
  EXPECT_EQ(ModeOf(File("out")) & 07777, 0644u);
  EXPECT_EQ(Names(), std::vector<std::string>{"out"});
}

TEST_F(FileWriterTest, ExistingFileKeepsItsMode) {
  WriteFile(File("secret"), "old");
  ::chmod(File("secret").c_str(), 0600);
  EXPECT_EQ(platform::WriteWholeFile(File("secret"), std::string_view("new")), 0);
  EXPECT_EQ(ReadFile(File("secret")), "new");
  EXPECT_EQ(ModeOf(File("secret")) & 07777, 0600u);
}

TEST_F(FileWriterTest, SymbolicLinkIsWrittenThroughToItsTarget) {
  fs::create_directory(File("elsewhere"));
  WriteFile(File("elsewhere/target"), "old");
  fs::create_symlink("elsewhere/target", File("link"));  // relative to the link's folder
  fs::create_symlink(File("link"), File("link-to-link"));
  EXPECT_EQ(platform::WriteWholeFile(File("link-to-link"), std::string_view("new")), 0);
  EXPECT_TRUE(S_ISLNK(ModeOf(File("link"))));
  EXPECT_TRUE(S_ISLNK(ModeOf(File("link-to-link"))));
  EXPECT_EQ(ReadFile(File("elsewhere/target")), "new");
  EXPECT_EQ(Names(), (std::vector<std::string>{"elsewhere", "link", "link-to-link"}));
}

TEST_F(FileWriterTest, DanglingLinkCreatesItsTarget) {
  fs::create_symlink("made", File("link"));
  EXPECT_EQ(platform::WriteWholeFile(File("link"), std::string_view("new")), 0);
  EXPECT_TRUE(S_ISLNK(ModeOf(File("link"))));
  EXPECT_EQ(ReadFile(File("made")), "new");
}

struct Refusal {
  const char* name;
  // Makes the target in the folder; returns its path.
  std::string (*make)(const std::string& folder);
  int error;
  mode_t type;
};

void PrintTo(const Refusal& row, std::ostream* out) { *out << row.name; }

std::string MakeFifo(const std::string& folder) {
  const std::string path = folder + "/fifo";
  EXPECT_EQ(::mkfifo(path.c_str(), 0666), 0);
  return path;
}
std::string MakeFolder(const std::string& folder) {
  fs::create_directory(folder + "/sub");
  return folder + "/sub";
}
std::string DeviceNode(const std::string&) { return "/dev/null"; }
std::string LinkToDevice(const std::string& folder) {
  fs::create_symlink("/dev/null", folder + "/null-link");
  return folder + "/null-link";
}

class FileWriterRefusalTest : public FileWriterTest,
                              public ::testing::WithParamInterface<Refusal> {};

TEST_P(FileWriterRefusalTest, TargetThatIsNoRegularFileIsRefusedAndUntouched) {
  const Refusal& row = GetParam();
  const std::string target = row.make(folder_);
  const auto before = Names();
  // A FIFO without a reader would block an open: the writer must not open it.
  EXPECT_EQ(platform::WriteWholeFile(target, std::string_view("new")), row.error);
  struct stat status {};
  ASSERT_EQ(::stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & S_IFMT, row.type);
  EXPECT_EQ(Names(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FileWriterRefusalTest,
    ::testing::Values(Refusal{"Fifo", MakeFifo, platform::kNotRegularFile, S_IFIFO},
                      Refusal{"Folder", MakeFolder, EISDIR, S_IFDIR},
                      Refusal{"DevNull", DeviceNode, platform::kNotRegularFile, S_IFCHR},
                      Refusal{"LinkToDevNull", LinkToDevice, platform::kNotRegularFile, S_IFCHR}),
    [](const ::testing::TestParamInfo<Refusal>& row) { return std::string(row.param.name); });

TEST_F(FileWriterTest, MissingFolderFailsAndCreatesNothing) {
  EXPECT_EQ(platform::WriteWholeFile(File("no/such/file"), std::string_view("x")), ENOENT);
  EXPECT_EQ(platform::WriteWholeFile("", std::string_view("x")), ENOENT);
  EXPECT_TRUE(Names().empty());
}

TEST_F(FileWriterTest, ReadOnlyFileIsRefusedForAnUnprivilegedCaller) {
  WriteFile(File("kept"), "old");
  ::chmod(File("kept").c_str(), 0444);
  GiveToUnprivileged(dir_.path());
  const int error = RunUnprivileged(
      [&] { return platform::WriteWholeFile(File("kept"), std::string_view("new")); });
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(ReadFile(File("kept")), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"kept"});
}

TEST_F(FileWriterTest, WritableFileInClosedFolderIsWrittenInPlace) {
  WriteFile(File("log"), "old content, longer than the new");
  GiveToUnprivileged(dir_.path());
  ::chmod(folder_.c_str(), 0555);
  const int error = RunUnprivileged(
      [&] { return platform::WriteWholeFile(File("log"), std::string_view("new")); });
  ::chmod(folder_.c_str(), 0755);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ReadFile(File("log")), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"log"});
}

TEST_F(FileWriterTest, ClosedFolderWithoutTheFileFailsAsCreatingIt) {
  GiveToUnprivileged(dir_.path());
  ::chmod(folder_.c_str(), 0555);
  const int error =
      RunUnprivileged([&] { return platform::WriteWholeFile(File("new"), std::string_view("x")); });
  ::chmod(folder_.c_str(), 0755);
  EXPECT_EQ(error, EACCES);
  EXPECT_TRUE(Names().empty());
}

TEST_F(FileWriterTest, AbandonedWriteLeavesTheOldFileAndNoTemporary) {
  WriteFile(File("doc"), "old");
  {
    platform::FileWriter writer;
    ASSERT_EQ(writer.Open(File("doc")), 0);
    std::fputs("half of the new", writer.stream());
    std::fflush(writer.stream());
    EXPECT_EQ(Names().size(), 2u);  // the temporary file beside it
  }
  EXPECT_EQ(ReadFile(File("doc")), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"doc"});
}

TEST_F(FileWriterTest, ExceptionFromTheProducerLeavesNoTemporary) {
  auto produce = [&] {
    platform::FileWriter writer;
    if (writer.Open(File("doc")) != 0) return;
    std::fputs("partial", writer.stream());
    throw std::runtime_error("producer failed");
  };
  EXPECT_THROW(produce(), std::runtime_error);
  EXPECT_TRUE(Names().empty());
}

TEST_F(FileWriterTest, StreamIsReadableForTheCallersOwnChecks) {
  // The backup writer reads back what it wrote to checksum it.
  platform::FileWriter writer;
  ASSERT_EQ(writer.Open(File("pkg")), 0);
  std::fputs("abc", writer.stream());
  std::rewind(writer.stream());
  char back[4] = {};
  EXPECT_EQ(std::fread(back, 1, 3, writer.stream()), 3u);
  EXPECT_STREQ(back, "abc");
  EXPECT_EQ(platform::EmptyStream(writer.stream()), 0);
  std::fputs("z", writer.stream());
  EXPECT_EQ(writer.Commit(), 0);
  EXPECT_EQ(ReadFile(File("pkg")), "z");
}

TEST_F(FileWriterTest, ReaderOpensOnlyRegularFiles) {
  WriteFile(File("plain"), "text");
  MakeFifo(folder_);
  MakeFolder(folder_);
  std::string bytes;
  EXPECT_EQ(platform::ReadRegularFile(File("plain"), bytes), 0);
  EXPECT_EQ(bytes, "text");
  // Would block forever waiting for a writer if it were opened as a file.
  EXPECT_EQ(platform::ReadRegularFile(File("fifo"), bytes), platform::kNotRegularFile);
  EXPECT_EQ(platform::ReadRegularFile(File("sub"), bytes), EISDIR);
  EXPECT_EQ(platform::ReadRegularFile("/dev/zero", bytes), platform::kNotRegularFile);
  EXPECT_EQ(platform::ReadRegularFile(File("missing"), bytes), ENOENT);
}

}  // namespace
}  // namespace skyfw::testing
