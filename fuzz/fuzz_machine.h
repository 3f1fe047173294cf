// The small simulated machine the request-document target runs on, made once
// per process in a temporary directory and removed at exit: one Skyline S2
// at 0000:03:00:0 and a firmware directory holding a catalogue, a small
// package for that adapter, a package for another maker's device and a file
// that is not a package at all.
#pragma once

#include <string>

namespace skyfw::fuzz {

// The adapter's PCI location as the discovery document names it.
inline constexpr const char* kFuzzAdapterLocation = "0000:03:00:0";
// Files of the firmware directory.
inline constexpr const char* kFuzzAdapterPackage = "s2.pkg";
inline constexpr const char* kFuzzForeignPackage = "acme.pkg";
inline constexpr const char* kFuzzNotAPackage = "notes.pkg";

struct FuzzMachine {
  std::string root;      // the temporary directory
  std::string machine;   // root/machine
  std::string firmware;  // root/firmware
  std::string document;  // root/request.xml
};

// The process's machine, opened and installed as the platform on first use,
// with the library state loaded. Aborts when it cannot be made: a target
// without its machine would only measure the refusal.
const FuzzMachine& TheFuzzMachine();

// The machine's description, also a seed of the machine description target.
std::string FuzzMachineJson();

}  // namespace skyfw::fuzz
