// skyfw sim end to end: the built program writes the demo machine, shows it
// with the driver's NVRAM behind it, and refuses a bad description.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "machine_fixture.h"
#include "support/child_process.h"

namespace skyfw::sim {
namespace {

using testing::Json;
using testing::TempDir;

struct ProgramRun {
  int status = -1;
  std::string output;
};

ProgramRun RunSkyfw(const std::string& arguments) {
  ::skyfw::testing::ProgramRun program =
      ::skyfw::testing::RunProgram(SKYFW_PROGRAM_PATH, ::skyfw::testing::Words(arguments),
                                   ::skyfw::testing::ErrorOutput::kMerged);
  return ProgramRun{program.exit_code, program.out};
}

TEST(SkyfwSim, InitThenShowTheDemoMachineWithItsNvram) {
  TempDir dir;
  std::string machine = dir.File("m");
  ProgramRun init = RunSkyfw("sim init " + machine);
  ASSERT_EQ(init.status, 0) << init.output;
  ProgramRun show = RunSkyfw("sim show " + machine + " --json");
  ASSERT_EQ(show.status, 0) << show.output;
  Json root = Json::parse(show.output)["description"];
  ASSERT_EQ(root["adapters"].size(), 3u);
  EXPECT_EQ(root["devices"].size(), 9u);
  EXPECT_EQ(root["adapters"][0]["nvram"]["package_version"], "21.6.2");
  EXPECT_EQ(root["adapters"][1]["nvram"]["package_version"], "20.4.1");
  EXPECT_EQ(root["adapters"][2]["nvram"]["package_version"], "20.2.0");
  EXPECT_FALSE(root["adapters"][0]["nvram"]["directory"].empty());
  EXPECT_EQ(root["adapters"][1]["ports"][1]["location"], "06:00.0");

  ProgramRun text = RunSkyfw("sim show " + machine);
  ASSERT_EQ(text.status, 0) << text.output;
  EXPECT_NE(text.output.find("package version 21.6.2"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("Held locks:"), std::string::npos);

  ProgramRun again = RunSkyfw("sim init " + machine);
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("a machine is already there"), std::string::npos) << again.output;
  ProgramRun events = RunSkyfw("sim events " + machine);
  EXPECT_EQ(events.status, 0);
  EXPECT_NE(events.output.find("(no events)"), std::string::npos);
}

TEST(SkyfwSim, InitFromABadFileNamesTheField) {
  TempDir dir;
  std::string file = dir.File("bad.json");
  std::ofstream(file) << R"({"computer_name": "HOST", "adapters": [{"id": "a"}]})";
  ProgramRun init = RunSkyfw("sim init " + dir.File("m") + " --from " + file);
  EXPECT_EQ(init.status, 1);
  EXPECT_NE(init.output.find("adapters[0].pci: missing (required)"), std::string::npos)
      << init.output;
}

}  // namespace
}  // namespace skyfw::sim
