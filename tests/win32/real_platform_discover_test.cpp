// skyfw.exe as a host on the Win32 platform itself (no SKYFW_MACHINE, no
// --machine): under Wine there is no Skyline adapter, so the adapter library
// does not start and discovery answers 101 ("NMAPI Init Failed."), exit 4,
// with the enumeration in the trace log. A real server with an adapter is
// accepted by docs/windows-acceptance.md instead.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "os/environment.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace skyfw::testing {
namespace {

TEST(RealPlatformDiscover, FindsNoSkylineAdapterAndSaysSoWithoutCrashing) {
  ASSERT_TRUE(platform::SetEnvironmentText("SKYFW_MACHINE", ""));
  TempDir dir;
  const std::string trace = dir.File("trace.log");
  ProgramRun run = RunProgram(SKYFW_PROGRAM_PATH,
                              {"--trace", trace, "discover", "--fw", SKYFW_FIRMWARE_DIR, "--json"},
                              ErrorOutput::kDropped, dir.path());
  EXPECT_EQ(run.exit_code, 4) << run.out;
  nlohmann::json answer = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_FALSE(answer.is_discarded()) << run.out;
  EXPECT_FALSE(answer["ok"].get<bool>());
  EXPECT_EQ(answer["error"]["result"]["code"], 101) << run.out;

  const std::string log = ReadFile(trace);
  EXPECT_NE(log.find("Enter oem_do_discovery_with_files"), std::string::npos) << log;
  EXPECT_NE(log.find("oem_do_discovery_with_files(): ngNmapiInitializeEx() failed."),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace skyfw::testing
