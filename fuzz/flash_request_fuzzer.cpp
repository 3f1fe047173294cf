// The request document on a small simulated machine (fuzz_machine.h): the
// fuzz input is the document the host hands back, processed as
// oem_do_flash_with_file processes it, against the machine's inventory.
//
// Only the document comes from the input. What the entry point does before it
// reads the document (the catalogue, the library's start, the inventory) is
// the same for every input, so it is done once, when the first input comes,
// and every execution is spent on the document and what it asks for. The
// firmware directory holds a catalogue, so no package is read to build the
// inventory; only items that name a file of the directory on the adapter's
// device block reach the installer, and its packages are small.
//
// Checked after every call: a result from the table, a document the library
// refused left byte for byte as it was, and any document it wrote back still
// well-formed with its root in place.
#include <libxml/parser.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "diag/trace_log.h"
#include "fuzz_machine.h"
#include "host/catalogue.h"
#include "host/flash_request.h"
#include "host/inventory.h"
#include "host/library_state.h"
#include "base/result_codes.h"
#include "host/xml_helpers.h"
#include "nmapi/nmapi.h"
#include "update/installer.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[noreturn]] void Fail(const char* what, int32_t result) {
  std::fprintf(stderr, "flash request: %s (result %d)\n", what, result);
  std::abort();
}

bool WellFormedRequest(const std::string& text) {
  xmlDoc* document = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                   skyfw::kXmlReadOptions);
  if (document == nullptr) return false;
  bool root_kept = skyfw::XmlNameIs(xmlDocGetRootElement(document), "qv_rom_discovery");
  xmlFreeDoc(document);
  return root_kept;
}

// The trace opened, the library started and the inventory built as
// oem_do_flash_with_file does it, kept for the process; all end at exit.
class StartedLibrary {
 public:
  explicit StartedLibrary(const skyfw::fuzz::FuzzMachine& machine) {
    using namespace skyfw;
    OpenTraceForCall();
    if (do_discover_with_qvfwdata(machine.firmware) != kHostSuccess) {
      Fail("the catalogue was not read", kHostFirmwareFileNotFound);
    }
    if (ngNmapiInitialize(kNmapiVersionA, kNmapiVersionB, kNmapiVersionC) != ngNMAPI_OK) {
      Fail("the library did not start", kHostNmapiInitFailed);
    }
    if (!BuildInventory(std::nullopt)) Fail("no adapter found", kHostDiscoverDeviceFailed);
  }
  ~StartedLibrary() {
    skyfw::ngNmapiUninitialize();
    skyfw::TraceClose();
  }
  StartedLibrary(const StartedLibrary&) = delete;
  StartedLibrary& operator=(const StartedLibrary&) = delete;
};

// The event log grows with every install; a long run keeps only the latest.
void TrimEventLog(const skyfw::fuzz::FuzzMachine& machine) {
  static unsigned calls = 0;
  if (++calls % 512 != 0) return;
  std::error_code ignored;
  std::filesystem::remove(machine.machine + "/events.jsonl", ignored);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyfw;
  const fuzz::FuzzMachine& machine = fuzz::TheFuzzMachine();
  static const StartedLibrary started(machine);
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::FILE* file = std::fopen(machine.document.c_str(), "wb");
    if (file == nullptr) return 0;
    if (size != 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
  }

  const HostResultCode result = ProcessFlashRequest(
      machine.document, machine.firmware, [](DeviceRecord& record, const std::string& package) {
        return InstallPackageFile(record, package);
      });

  switch (result) {
    case kHostDiscoveryFileNotAccessible:
      if (ReadAll(machine.document) != input) Fail("refused document was changed", result);
      break;
    case kHostSuccessRebootRequired:
    case kHostHardwareNotAccessible:  // an installation asked of a device not there
    case kHostFlashFailed:
    case kHostFirmwareFileNotFound:
      if (!WellFormedRequest(ReadAll(machine.document))) {
        Fail("document written back is not a request document", result);
      }
      break;
    default:
      Fail("result outside what a request on a working machine may give", result);
  }
  TrimEventLog(machine);
  return 0;
}
