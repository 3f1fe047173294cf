// ReadPackageFile (wrapper included) and everything that reads a package:
// manifest, properties, verification, applicability, prerequisite.
#include <cstdint>
#include <cstdio>
#include <string>

#include "package/package_format.h"
#include "package/package_verifier.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace {

std::string InputPath() {
  std::string path = "/tmp/skyfw_fuzz_package";
#if defined(__linux__)
  // Appended in two steps: g++ 12 at -O3 takes "_" + std::to_string(...)
  // for an overlapping copy (-Wrestrict).
  path += '_';
  path += std::to_string(getpid());
#endif
  return path + ".pkg";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyfw;
  static const std::string path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size != 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  NvmPackage package;
  if (ReadPackageFile(path, package) != NVCRETVAL_SUCCESS) return 0;
  const ByteView bytes = package.package();

  int32_t index = 0;
  const bool verified = VerifyPackage(bytes, &index) == NVCRETVAL_SUCCESS;
  CheckPackageApplicability(bytes, 0x14E4, 0x1657, 0x14E4, 0x1234, 1);
  std::string prerequisite;
  IsPrerequisiteMet(bytes, "20.1.5", &prerequisite);

  uint32_t count = 0;
  if (GetPackageItemCount(bytes, count) == NVCRETVAL_SUCCESS) {
    PackageItemEntry entries[8];
    ReadPackageItems(bytes, 0, entries);
    ReadPackageItems(bytes, count > 2 ? count - 2 : 0, entries);
    // Searched in verified packages only, as the installer does: a manifest
    // of 2^32 entries of no length is searched entry by entry.
    PackageItemEntry found;
    if (verified) FindPackageItem(bytes, 10, 0, 0, found);
  }
  for (uint8_t tag : {1, 2, 3, 9, 10, 20}) {
    uint8_t value[4];
    GetProperty(bytes, tag, value);
  }
  GetPropertyAreaLength(bytes);
  return 0;
}
