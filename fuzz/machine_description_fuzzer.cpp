// The simulated machine's description (machine.json) and the factory NVRAM
// each described adapter leaves with.
//
// Checked for every description the reader accepts: each adapter's factory
// NVRAM fits its flash and directory, and its NVRAM file decodes to what was
// encoded.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sim/driver/initial_nvram.h"
#include "sim/driver/nvram_file.h"
#include "sim/machine/machine.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "machine description: %s\n", what.c_str());
  std::abort();
}

void CheckFactoryNvram(const skyfw::sim::AdapterDescription& adapter) {
  using namespace skyfw::sim;
  const NvramFile file = BuildInitialNvram(adapter);
  if (AllocatedBytes(file.nvram) > file.nvram.capacity) {
    Fail("adapter " + adapter.id + ": factory items exceed the flash capacity");
  }
  if (file.nvram.items.size() > file.nvram.max_entries) {
    Fail("adapter " + adapter.id + ": more factory items than directory slots");
  }
  for (size_t i = 0; i < file.nvram.items.size(); ++i) EncodeDirEntry(file.nvram, i);

  const std::vector<uint8_t> encoded = EncodeNvramFile(file);
  NvramFile decoded;
  std::string error;
  if (!DecodeNvramFile(encoded, decoded, error)) {
    Fail("adapter " + adapter.id + ": NVRAM file refused: " + error);
  }
  if (EncodeNvramFile(decoded) != encoded) Fail("adapter " + adapter.id + ": NVRAM file changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyfw::sim;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  MachineDescription machine;
  std::string error;
  if (!ParseMachineDescription(text, machine, error)) {
    if (error.empty()) Fail("description refused without a reason");
    return 0;
  }
  for (const AdapterDescription& adapter : machine.adapters) CheckFactoryNvram(adapter);
  return 0;
}
