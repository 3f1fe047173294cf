// fuzz_write_seeds DIR: writes the seed corpus of every target, DIR/<target>,
// for libFuzzer runs.
#include <cstdio>
#include <filesystem>
#include <string>

#include "seeds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root(argv[1]);
  const std::pair<const char*, std::vector<skyfw::fuzz::Bytes>> corpora[] = {
      {"package", skyfw::fuzz::PackageSeeds()},
      {"vpd", skyfw::fuzz::VpdSeeds()},
      {"flash_request", skyfw::fuzz::FlashRequestSeeds()},
      {"catalogue", skyfw::fuzz::CatalogueSeeds()},
      {"package_log", skyfw::fuzz::PackageLogSeeds()},
      {"machine_description", skyfw::fuzz::MachineDescriptionSeeds()},
      {"firmware_package", skyfw::fuzz::FirmwarePackageSeeds()}};
  for (const auto& [name, seeds] : corpora) {
    std::filesystem::create_directories(root / name);
    for (size_t i = 0; i < seeds.size(); ++i) {
      const std::string path = (root / name / ("seed_" + std::to_string(i))).string();
      std::FILE* file = std::fopen(path.c_str(), "wb");
      if (file == nullptr) return 1;
      std::fwrite(seeds[i].data(), 1, seeds[i].size(), file);
      std::fclose(file);
    }
  }
  return 0;
}
