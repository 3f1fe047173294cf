// Package files read and verified once per entry-point call.
//
// Choosing a package tries every file of the firmware directory against
// every adapter. Reading and verifying a file does not depend on the
// adapter, so within one call each file is read and verified at most once
// (keyed by its path, size and modification time); the per-adapter checks
// and every trace line still run for each adapter. The bytes are kept until
// the call ends.
#pragma once

#include <cstdint>
#include <string>

#include "base/nvm_status.h"
#include "package/package_format.h"

namespace skyfw {

struct CheckedPackageFile {
  NvmStatus readStatus = 0;
  NvmPackage file;
  // Set once the package has been verified.
  bool verified = false;
  NvmStatus verifyStatus = 0;
  int32_t failingItem = -1;
};

// While one is alive, FindCheckedPackageFile keeps what it reads; the last
// one to end releases everything. Scopes nest.
class PackageCheckScope {
 public:
  PackageCheckScope();
  ~PackageCheckScope();
  PackageCheckScope(const PackageCheckScope&) = delete;
  PackageCheckScope& operator=(const PackageCheckScope&) = delete;
};

// The file at path, read now or earlier in the scope (again when its size or
// modification time changed); nullptr when no scope is open.
CheckedPackageFile* FindCheckedPackageFile(const std::string& path);

// How many files were read since the last scope opened (for tests).
size_t CheckedPackageReads();

}  // namespace skyfw
