// The scene of the fault-injection sweep: a small simulated machine (one
// Skyline S2 at 21.6.2 on bus 3), a firmware folder with an upgrade to
// 21.8.0, the same folder with a catalogue, and the host's documents (a
// discovery document, a request document asking for the upgrade, an earlier
// backup). Every run works on a fresh copy of it, with one platform call
// failed, and is then checked for what it left behind.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/result_codes.h"

namespace skyfw::testing {

// Where one run finds its machine and files.
struct RunPaths {
  std::string machine;
  std::string documents;  // the host's folder
  std::string discovery;  // documents there before the run
  std::string request;
  std::string backup;
  std::string new_discovery;  // documents a run may create
  std::string new_backup;
  std::string firmware;   // the package folder (shared by all runs, never written)
  std::string catalogue;  // the same packages with NICFWData.xml
  std::string package;    // the upgrade package in `firmware`
  std::string trace;
};

inline constexpr int32_t kSegment = 0;
inline constexpr int32_t kBus = 3;

struct EntryPoint {
  const char* name;
  std::function<HostResultCode(const RunPaths&)> call;
  // May leave the adapter's firmware as the upgrade installs it.
  bool installs = false;
  // Answers with the backup's negative statuses too.
  bool backs_up = false;
  // The file of the host's folder that the call creates when it succeeds.
  const char* creates = nullptr;
};

// The scene's machine description: one Skyline S2 at 21.6.2, port on bus 3.
std::string SweepMachineJson();

struct RunOutcome {
  HostResultCode result = 0;
  uint64_t failable_calls = 0;
  uint64_t other_calls = 0;
  bool injected = false;
  std::vector<std::string> call_names;
};

class SweepScene {
 public:
  SweepScene();
  ~SweepScene();
  SweepScene(const SweepScene&) = delete;
  SweepScene& operator=(const SweepScene&) = delete;

  // Runs the entry point once on a fresh copy of the scene with failable
  // call `fail_at` failed (0: none) and checks what the run left: a result
  // from the table, the adapter library stopped, the trace log closed, no
  // named mutex held, documents well-formed or untouched, no stray or
  // partial file, the firmware as before or as the upgrade leaves it.
  // For an entry point that installs, the run without failure comes first:
  // the firmware it leaves is what the upgrade leaves.
  RunOutcome Run(const EntryPoint& entry, uint64_t fail_at);

 private:
  RunPaths PathsIn(const std::string& root) const;
  void CheckAfterRun(const EntryPoint& entry, const RunPaths& paths, uint64_t fail_at,
                     const RunOutcome& outcome, const std::string& context);

  std::string root_;                              // removed with the scene
  std::string template_;                          // the scene every run copies
  std::map<std::string, std::string> documents_;  // file name -> bytes before any run
  std::string factory_;                           // the adapter's firmware before any run
  std::string installed_;  // ... and after a run without failure (empty until known)
  uint64_t runs_ = 0;
};

}  // namespace skyfw::testing
