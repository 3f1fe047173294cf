// oem_call PLUGIN COMMAND ARGUMENTS...: one host process of its own for the
// concurrency tests. It loads the plug-in (which opens the machine named by
// SKYFW_MACHINE), writes "ready" on standard output and waits for one byte on
// standard input, so that several hosts make their calls at the same moment;
// then it makes one call and writes "result CODE" on a line.
//
//   discover DOCUMENT FIRMWARE        oem_do_discovery_with_files
//   flash REQUEST FIRMWARE            oem_do_flash_with_file
//   flash-pci PACKAGE SEG BUS DEV FN  oem_do_full_flash_PCI
//   dump BACKUP SEG BUS DEV FN        oem_get_full_flash_dump_PCI
//
// Exit status: 0 the call was made, 2 bad command line, 3 the plug-in or an
// entry point could not be loaded.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "os/environment.h"
#include "os/shared_library.h"
#include "base/unicode.h"
#include "skyfw/oem.h"

namespace {

// The entry points' text (WCHAR units on Windows).
std::basic_string<OemChar16> Wide(const char* text) {
  const std::u16string wide = skyfw::Utf8ToUtf16(text);
  return {wide.begin(), wide.end()};
}

template <typename Function>
Function* Resolve(const skyfw::platform::SharedLibrary& plugin, const char* name) {
  auto* function = reinterpret_cast<Function*>(plugin.Find(name));
  if (function == nullptr) {
    std::fprintf(stderr, "oem_call: no entry point %s\n", name);
    std::exit(3);
  }
  return function;
}

int32_t Number(const char* text) { return static_cast<int32_t>(std::strtol(text, nullptr, 0)); }

}  // namespace

int main(int argc, char** raw_argv) {
  // UTF-8 arguments, whatever the platform passed.
  std::vector<std::string> words = skyfw::platform::ProgramArguments(argc, raw_argv);
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  argc = static_cast<int>(argv.size());
  if (argc < 3) {
    std::fprintf(stderr, "usage: oem_call PLUGIN COMMAND ARGUMENTS...\n");
    return 2;
  }
  const std::string command = argv[2];
  const int arguments = argc - 3;
  const bool two_paths = (command == "discover" || command == "flash") && arguments == 2;
  const bool pci = (command == "flash-pci" || command == "dump") && arguments == 5;
  if (!two_paths && !pci) {
    std::fprintf(stderr, "oem_call: bad arguments for %s\n", command.c_str());
    return 2;
  }

  skyfw::platform::SharedLibrary plugin;
  std::string error;
  if (!plugin.Open(argv[1], error)) {
    std::fprintf(stderr, "oem_call: %s\n", error.c_str());
    return 3;
  }
  auto* discover =
      Resolve<decltype(oem_do_discovery_with_files)>(plugin, "oem_do_discovery_with_files");
  auto* flash = Resolve<decltype(oem_do_flash_with_file)>(plugin, "oem_do_flash_with_file");
  auto* flash_pci = Resolve<decltype(oem_do_full_flash_PCI)>(plugin, "oem_do_full_flash_PCI");
  auto* dump =
      Resolve<decltype(oem_get_full_flash_dump_PCI)>(plugin, "oem_get_full_flash_dump_PCI");

  std::printf("ready\n");
  std::fflush(stdout);
  char go = 0;
  if (std::fread(&go, 1, 1, stdin) != 1) return 2;

  const std::basic_string<OemChar16> first = Wide(argv[3]);
  int32_t result = 0;
  if (command == "discover") {
    result = discover(first.c_str(), Wide(argv[4]).c_str());
  } else if (command == "flash") {
    result = flash(first.c_str(), Wide(argv[4]).c_str());
  } else {
    auto call = command == "dump" ? dump : flash_pci;
    result = call(first.c_str(), nullptr, Number(argv[4]), Number(argv[5]), Number(argv[6]),
                  Number(argv[7]));
  }
  std::printf("result %d\n", result);
  std::fflush(stdout);
  plugin.Close();
  return 0;
}
