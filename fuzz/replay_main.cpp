// Runs a fuzz target without libFuzzer: over its built-in seeds, simple
// deterministic mutations of them (truncations, flipped bytes), and any
// files or directories named on the command line. Part of the normal test
// suite, so the sanitizer build exercises every parser the fuzzers reach.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace skyfw::fuzz {
std::vector<Bytes> Seeds();  // the target's seeds, defined beside main
}

namespace {

using skyfw::fuzz::Bytes;

void Run(const Bytes& input) { LLVMFuzzerTestOneInput(input.data(), input.size()); }

bool RunFile(const std::filesystem::path& path) {
  // By the path itself: its wide name on Windows.
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  Bytes input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Run(input);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 0;
  for (const Bytes& seed : skyfw::fuzz::Seeds()) {
    Run(seed);
    ++runs;
    const size_t step = seed.size() / 97 + 1;
    for (size_t length = 0; length < seed.size(); length += step) {
      Run(Bytes(seed.begin(), seed.begin() + static_cast<std::ptrdiff_t>(length)));
      ++runs;
    }
    for (size_t at = 0; at < seed.size(); at += step) {
      for (uint8_t mask : {0x01, 0x80, 0xFF}) {
        Bytes mutated = seed;
        mutated[at] ^= mask;
        Run(mutated);
        ++runs;
      }
    }
  }
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        if (entry.is_regular_file() && RunFile(entry.path())) ++runs;
      }
    } else if (RunFile(path)) {
      ++runs;
    } else {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
  }
  std::printf("%zu inputs replayed\n", runs);
  return 0;
}
