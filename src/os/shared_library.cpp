#include "os/shared_library.h"

#include "os/file_names.h"
#include "os/process_facts.h"

namespace skyfw::platform {

SharedLibrary::~SharedLibrary() { Close(); }

std::string ProgramFolder() {
  std::string program;
  if (!OsProgramFileName(program)) return {};
  const size_t separator = program.find_last_of(kPathSeparator);
  return separator == std::string::npos ? std::string() : program.substr(0, separator);
}

}  // namespace skyfw::platform
