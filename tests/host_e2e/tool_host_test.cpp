// The skyfw program as a host: its commands on a fresh demo machine, their
// JSON answers and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "sim/machine.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace skyfw::testing {
namespace {

struct ToolRun {
  int exit_code = -1;
  std::string out;
};

class ToolHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    machine_ = dir_.File("machine");
    ASSERT_TRUE(sim::InitMachine(machine_, sim::DemoMachineJson(), error)) << error;
  }

  // Runs skyfw in the test's directory with the machine; stderr is dropped.
  ToolRun Skyfw(const std::string& arguments) {
    std::vector<std::string> words = {"--machine", machine_};
    for (std::string& word : Words(arguments)) words.push_back(std::move(word));
    ProgramRun program = RunProgram(SKYFW_PROGRAM_PATH, words, ErrorOutput::kDropped, dir_.path());
    return ToolRun{program.exit_code, program.out};
  }

  TempDir dir_;
  std::string machine_;
};

TEST_F(ToolHostTest, DiscoverJsonListsEveryDemoAdapterOnce) {
  ToolRun run = Skyfw("discover --json");
  ASSERT_EQ(run.exit_code, 0) << run.out;
  nlohmann::json answer = nlohmann::json::parse(run.out);  // pure JSON, nothing else
  EXPECT_EQ(answer["result"]["code"], 0);
  std::set<std::string> ids;
  for (const auto& device : answer["devices"]) ids.insert(device["device_id"].get<std::string>());
  EXPECT_EQ(ids, (std::set<std::string>{"0000:03:00:0", "0000:05:00:0", "0000:08:00:0"}));
  EXPECT_EQ(answer["devices"].size(), 3u);
  EXPECT_EQ(answer["devices"][0]["items"][0]["action"], "upgrade");
}

TEST_F(ToolHostTest, FlashDryRunThenFlashThenDiscoveryShowsNewVersions) {
  ToolRun dry = Skyfw("flash --dry-run --json");
  ASSERT_EQ(dry.exit_code, 0) << dry.out;
  EXPECT_TRUE(nlohmann::json::parse(dry.out)["dry_run"].get<bool>());
  ToolRun unchanged = Skyfw("discover --json");
  EXPECT_EQ(nlohmann::json::parse(unchanged.out)["devices"][0]["items"][0]["active_version"],
            "21.6.2");

  ToolRun flash = Skyfw("flash --skip 0000:05:00:0 --json");
  ASSERT_EQ(flash.exit_code, 0) << flash.out;
  nlohmann::json answer = nlohmann::json::parse(flash.out);
  EXPECT_EQ(answer["result"]["code"], 1);
  EXPECT_TRUE(answer["result"]["reboot_required"].get<bool>());
  EXPECT_EQ(answer["devices"][0]["items"][0]["action_status"], "1");
  EXPECT_EQ(answer["devices"][1]["items"][0]["action"], "skip");

  nlohmann::json after = nlohmann::json::parse(Skyfw("discover --json").out);
  EXPECT_EQ(after["devices"][0]["items"][0]["active_version"], "21.8.0");
  EXPECT_EQ(after["devices"][1]["items"][0]["active_version"], "20.4.1");
}

TEST_F(ToolHostTest, FailuresHaveTheirOwnExitCodesAndStayJson) {
  struct Case {
    std::string arguments;
    int exit_code;
    int result;  // -1: no plug-in result
  };
  const Case cases[] = {
      {"discover --json --fw '" + dir_.File("missing") + "'", 5, 8},
      {"flash-pci x.pkg --pci 0001:03:00.0 --json", 4, 102},
      {"flash-pci '" + dir_.File("missing.pkg") + "' --pci 0000:03:00.0 --json", 7, 106},
      {"dump '" + dir_.File("no/dir/b.pkg") + "' --pci 0000:03:00.0 --json", 7, -101},
      {"dump b.pkg --pci 3:0 --json", 2, -1},
  };
  for (const Case& c : cases) {
    ToolRun run = Skyfw(c.arguments);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments << "\n" << run.out;
    nlohmann::json answer = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(answer.is_discarded()) << c.arguments << "\n" << run.out;
    if (c.result != -1) {
      EXPECT_EQ(answer["result"]["code"], c.result) << c.arguments;
    }
  }
}

TEST_F(ToolHostTest, InfoJsonIsPureDespiteThePluginsOwnOutput) {
  ToolRun run = Skyfw("info --json");
  ASSERT_EQ(run.exit_code, 0) << run.out;
  nlohmann::json answer = nlohmann::json::parse(run.out);
  EXPECT_EQ(answer["count"], 3);
  EXPECT_EQ(answer["adapters"][1]["interface"], "0000:05:00:0");
  EXPECT_EQ(answer["adapters"][1]["firmware"][0]["image"], "20.6.1");
}

}  // namespace
}  // namespace skyfw::testing
