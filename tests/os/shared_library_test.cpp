#include "os/shared_library.h"

#include <gtest/gtest.h>

#include "os/file_names.h"
#include "os/process_facts.h"
#include "support/temp_dir.h"

namespace skyfw::platform {
namespace {

TEST(SharedLibrary, AMissingOrBrokenLibraryIsRefusedWithAReason) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("broken.lib"), "not a library at all");
  for (const std::string& path : {dir.File("missing.lib"), dir.File("broken.lib")}) {
    SharedLibrary library;
    std::string error;
    EXPECT_FALSE(library.Open(path, error)) << path;
    EXPECT_FALSE(error.empty()) << path;
    EXPECT_FALSE(library.loaded());
    EXPECT_EQ(library.Find("oem_get_debug_info"), nullptr);
  }
}

TEST(SharedLibrary, TheProgramFolderHoldsTheRunningProgram) {
  std::string program;
  ASSERT_TRUE(OsProgramFileName(program));
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(program.rfind(folder + kPathSeparator, 0), 0u) << program;
  EXPECT_EQ(program.find(kPathSeparator, folder.size() + 1), std::string::npos) << program;
}

}  // namespace
}  // namespace skyfw::platform
