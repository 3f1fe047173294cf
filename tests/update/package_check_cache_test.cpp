#include "update/package_check_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(PackageCheckCache, EachFileIsReadOncePerScope) {
  TempDir dir;
  std::string a = dir.File("a.pkg");
  std::string b = dir.File("b.pkg");
  WriteFile(a, "not a package");
  WriteFile(b, "not one either");

  EXPECT_EQ(FindCheckedPackageFile(a), nullptr);  // no call keeps a scope
  {
    PackageCheckScope scope;
    CheckedPackageFile* first = FindCheckedPackageFile(a);
    ASSERT_NE(first, nullptr);
    EXPECT_LT(first->readStatus, 0);
    first->verified = true;
    for (int adapter = 0; adapter < 8; ++adapter) {
      EXPECT_EQ(FindCheckedPackageFile(a), first);
      FindCheckedPackageFile(b);
    }
    EXPECT_EQ(CheckedPackageReads(), 2u);

    // A file that changed under the same name is read again, unverified.
    WriteFile(a, "a longer text than before");
    std::filesystem::last_write_time(a,
                                     std::filesystem::last_write_time(a) + std::chrono::seconds(5));
    CheckedPackageFile* again = FindCheckedPackageFile(a);
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->verified);
    EXPECT_EQ(CheckedPackageReads(), 3u);
  }
  EXPECT_EQ(FindCheckedPackageFile(a), nullptr);
  PackageCheckScope next;
  FindCheckedPackageFile(a);
  EXPECT_EQ(CheckedPackageReads(), 1u);  // nothing kept from the last call
}

}  // namespace
}  // namespace skyfw
