// The fault-injection sweep: each work entry point runs once to count the
// platform calls it makes (the simulated driver's included), then once more
// for every one of them with that call failed. Every run must end with a
// result from the table and leave nothing behind: the adapter library
// stopped, the trace log closed, no named mutex held, documents well-formed
// or untouched, no partial file, the firmware as it was or as the upgrade
// leaves it. Memory lost on any path is reported by LeakSanitizer in the
// sanitizer build, which runs the same sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>
#include <vector>

#include "host/entry_points.h"
#include "system/sweep_scene.h"

namespace skyfw::testing {
namespace {

std::u16string U16(const std::string& text) { return {text.begin(), text.end()}; }

struct SweepCase {
  EntryPoint entry;
  HostResultCode result_without_failure;
};

const SweepCase kCases[] = {
    {{.name = "discovery with a package folder into a new document",
      .call =
          [](const RunPaths& paths) {
            return DoDiscoveryWithFiles(U16(paths.new_discovery).c_str(),
                                        U16(paths.firmware).c_str());
          },
      .creates = "new-discovery.xml"},
     kHostSuccess},
    {{.name = "discovery with a catalogue over an earlier document",
      .call =
          [](const RunPaths& paths) {
            return DoDiscoveryWithFiles(U16(paths.discovery).c_str(), U16(paths.catalogue).c_str());
          }},
     kHostSuccess},
    {{.name = "flash with a request document",
      .call =
          [](const RunPaths& paths) {
            return DoFlashWithFile(U16(paths.request).c_str(), U16(paths.firmware).c_str());
          },
      .installs = true},
     kHostSuccessRebootRequired},
    {{.name = "PCI flash",
      .call =
          [](const RunPaths& paths) {
            return DoFullFlashPci(U16(paths.package).c_str(), kSegment, kBus, 0, 0);
          },
      .installs = true},
     kHostSuccessRebootRequired},
    {{.name = "PCI backup over an earlier backup",
      .call =
          [](const RunPaths& paths) {
            return GetFullFlashDumpPci(U16(paths.backup).c_str(), kSegment, kBus, 0, 0);
          },
      .backs_up = true},
     kHostSuccess},
    {{.name = "PCI backup into a new file",
      .call =
          [](const RunPaths& paths) {
            return GetFullFlashDumpPci(U16(paths.new_backup).c_str(), kSegment, kBus, 0, 0);
          },
      .backs_up = true,
      .creates = "new-backup.pkg"},
     kHostSuccess},
    {{.name = "adapter information",
      .call =
          [](const RunPaths& paths) {
            std::vector<OemAdapterInfoElement> elements(4);
            int32_t count = -1;
            HostResultCode result =
                GetAdapterInfo(elements.data(), &count, U16(paths.firmware).c_str());
            if (result == kHostSuccess) {
              EXPECT_GE(count, 0);
              EXPECT_LE(count, static_cast<int32_t>(elements.size()));
            }
            return result;
          }},
     kHostSuccess},
};

// Test listings name the case rather than dump its bytes.
void PrintTo(const SweepCase& sweep, std::ostream* out) { *out << sweep.entry.name; }

class FaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(FaultSweep, EveryFailedCallLeavesNothingBehind) {
  const SweepCase& sweep = GetParam();
  SweepScene scene;
  ASSERT_FALSE(HasFailure());

  RunOutcome clean = scene.Run(sweep.entry, 0);
  ASSERT_EQ(clean.result, sweep.result_without_failure);
  ASSERT_FALSE(HasFailure());
  const uint64_t calls = clean.failable_calls;
  ASSERT_GT(calls, 0u);

  std::map<HostResultCode, uint64_t> results;
  uint64_t runs = 0;
  for (uint64_t k = 1; k <= calls; ++k) {
    RunOutcome failed = scene.Run(sweep.entry, k);
    ++runs;
    ++results[failed.result];
    // The calls before the failed one are those of the clean run, so call k
    // is the same call in every run.
    ASSERT_TRUE(failed.injected && failed.call_names.size() >= k) << "call " << k;
    EXPECT_TRUE(std::equal(clean.call_names.begin(), clean.call_names.begin() + k,
                           failed.call_names.begin()))
        << "call " << k << ": the calls up to it differ from the run without failure";
    if (HasFailure()) break;  // the first faulty run tells the story
  }

  std::string summary;
  for (const auto& [result, count] : results) {
    summary += " " + std::to_string(result) + ":" + std::to_string(count);
  }
  std::printf("[sweep] %s: %llu failable calls (%llu others), %llu runs; results%s\n",
              sweep.entry.name, static_cast<unsigned long long>(calls),
              static_cast<unsigned long long>(clean.other_calls),
              static_cast<unsigned long long>(runs), summary.c_str());
  RecordProperty("runs", static_cast<int>(runs));
}

std::string CaseName(const ::testing::TestParamInfo<SweepCase>& info) {
  static const char* const kNames[] = {
      "DiscoveryPackageFolder", "DiscoveryCatalogue", "FlashRequest", "PciFlash",
      "PciBackupOverEarlier",   "PciBackupNewFile",   "AdapterInfo"};
  return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(EntryPoints, FaultSweep, ::testing::ValuesIn(kCases), CaseName);

}  // namespace
}  // namespace skyfw::testing
