// The skyfw program as a host: its commands on a fresh demo machine, their
// JSON answers and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "sim/machine/machine.h"
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

  // Runs skyfw in the test's directory with the machine, started directly as
  // on both platforms (no shell): words split at blanks, a word may be quoted
  // with ' (paths here hold no blanks). stderr is dropped unless the
  // arguments end in "2>&1".
  ToolRun Skyfw(const std::string& arguments) {
    std::vector<std::string> words = {"--machine", machine_};
    ErrorOutput errors = ErrorOutput::kDropped;
    for (std::string& word : Words(arguments)) {
      if (word == "2>&1") {
        errors = ErrorOutput::kMerged;
        continue;
      }
      if (word.size() >= 2 && word.front() == '\'' && word.back() == '\'') {
        word = word.substr(1, word.size() - 2);
      }
      words.push_back(word);
    }
    ProgramRun run = RunProgram(SKYFW_PROGRAM_PATH, words, errors, dir_.path());
    return {run.exit_code, run.out};
  }

  TempDir dir_;
  std::string machine_;
};

// The demo machine's adapters, as every command spells them.
const std::set<std::string> kDemoLocations = {"0000:03:00.0", "0000:05:00.0", "0000:08:00.0"};

nlohmann::json Parse(const ToolRun& run) {
  nlohmann::json answer = nlohmann::json::parse(run.out, nullptr, false);
  EXPECT_FALSE(answer.is_discarded()) << "not one JSON document:\n" << run.out;
  return answer;
}

const nlohmann::json& AdapterAt(const nlohmann::json& answer, const std::string& pci) {
  for (const auto& adapter : answer["adapters"]) {
    if (adapter["pci"] == pci) return adapter;
  }
  static const nlohmann::json none;
  ADD_FAILURE() << "no adapter " << pci << " in " << answer.dump();
  return none;
}

TEST_F(ToolHostTest, DiscoverJsonListsEveryDemoAdapterOnceInOneSpelling) {
  ToolRun run = Skyfw("discover --json");
  ASSERT_EQ(run.exit_code, 0) << run.out;
  nlohmann::json answer = Parse(run);
  EXPECT_EQ(answer["command"], "discover");
  EXPECT_TRUE(answer["ok"].get<bool>());
  EXPECT_EQ(answer["result"]["code"], 0);
  std::set<std::string> locations;
  for (const auto& adapter : answer["adapters"])
    locations.insert(adapter["pci"].get<std::string>());
  EXPECT_EQ(locations, kDemoLocations);
  EXPECT_EQ(answer["adapters"].size(), 3u);
  const auto& s2 = AdapterAt(answer, "0000:03:00.0");
  EXPECT_EQ(s2["mac"], "02:0a:3b:1c:2d:4e");
  EXPECT_EQ(s2["current_version"], "21.6.2");
  EXPECT_EQ(s2["package_version"], "21.8.0");
  EXPECT_EQ(s2["action"], "upgrade");
}

// The trace of a host command goes where --trace says, not only to the
// command's own temporary file.
TEST_F(ToolHostTest, TraceOptionNamesTheFileOfAHostCommand) {
  const std::string log = dir_.File("t.log");
  ToolRun run = Skyfw("--trace " + log + " discover --json");
  ASSERT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(ReadFile(log).find("Enter oem_do_discovery_with_files"), std::string::npos);
}

TEST_F(ToolHostTest, FlashReadsTheVersionsBackAndKeepsTheSkippedAdapterAlone) {
  ToolRun flash = Skyfw("flash --skip 0000:05:00.0 --json");
  ASSERT_EQ(flash.exit_code, 0) << flash.out;
  nlohmann::json answer = Parse(flash);
  EXPECT_EQ(answer["result"]["code"], 1);
  EXPECT_TRUE(answer["reboot_required"].get<bool>());
  const auto& s2 = AdapterAt(answer, "0000:03:00.0");
  EXPECT_EQ(s2["install"]["status"], "installed");
  EXPECT_EQ(s2["install"]["code"], 1);
  EXPECT_EQ(s2["version_after"], "21.8.0");
  EXPECT_TRUE(s2["in_place"].get<bool>());
  EXPECT_TRUE(s2["pending_reboot"].get<bool>());
  const auto& skipped = AdapterAt(answer, "0000:05:00.0");
  EXPECT_EQ(skipped["install"]["status"], "skipped");
  EXPECT_EQ(skipped["install"]["reason"], "--skip");
  EXPECT_EQ(skipped["version_after"], "20.4.1");
  EXPECT_FALSE(skipped["pending_reboot"].get<bool>());

  nlohmann::json after = Parse(Skyfw("discover --json"));
  EXPECT_EQ(AdapterAt(after, "0000:03:00.0")["current_version"], "21.8.0");
  EXPECT_EQ(AdapterAt(after, "0000:05:00.0")["current_version"], "20.4.1");
}

// The fault the issue found: a --skip that matched nothing was ignored and
// the adapter flashed. Every spelling of a location and of a MAC must hit.
TEST_F(ToolHostTest, SkipTakesEverySpellingAndRefusesWhatMatchesNothing) {
  const std::string hits[] = {"0000:05:00.0", "05:00.0",      "0000:05:00:0",
                              "0000:05:00.0", "020A3B556010", "02:0a:3b:55:60:10"};
  for (const std::string& entry : hits) {
    ToolRun run = Skyfw("flash --dry-run --json --skip " + entry);
    ASSERT_EQ(run.exit_code, 0) << entry << "\n" << run.out;
    nlohmann::json answer = Parse(run);
    EXPECT_EQ(AdapterAt(answer, "0000:05:00.0")["install"]["status"], "skipped") << entry;
    EXPECT_EQ(AdapterAt(answer, "0000:03:00.0")["install"]["status"], "would_install") << entry;
  }
  const std::string misses[] = {"0000:99:00.0",
                                "0001:05:00.0",
                                "02:0a:3b:55:60:11",
                                "0000:05:00.0x",
                                "0000:05:00.9",
                                "-1:05:00.0",
                                "s1"};
  for (const std::string& entry : misses) {
    ToolRun run = Skyfw("flash --dry-run --json --skip " + entry);
    EXPECT_EQ(run.exit_code, 2) << entry << "\n" << run.out;
    nlohmann::json answer = Parse(run);
    EXPECT_EQ(answer["error"]["kind"], "usage") << entry;
  }
  // Text mode lists the adapters there are.
  ToolRun text = Skyfw("flash --dry-run --skip 0000:99:00.0 2>&1");
  EXPECT_EQ(text.exit_code, 2);
  EXPECT_NE(text.out.find("0000:05:00.0 (02:0a:3b:55:60:10)"), std::string::npos) << text.out;
}

TEST_F(ToolHostTest, PciTakesThreeSpellingsAndNothingElse) {
  for (const char* pci : {"0000:03:00.0x", "-1:03:00.0", "0000:03:00.9", "3:0", "0000:03:20.0"}) {
    ToolRun run = Skyfw(std::string("dump b.pkg --json --pci ") + pci);
    EXPECT_EQ(run.exit_code, 2) << pci << "\n" << run.out;
    EXPECT_EQ(Parse(run)["error"]["kind"], "usage") << pci;
  }
  for (const char* pci : {"0000:03:00.0", "03:00.0", "0000:03:00:0"}) {
    ToolRun run = Skyfw(std::string("dump '") + dir_.File("b.pkg") + "' --json --pci " + pci);
    ASSERT_EQ(run.exit_code, 0) << pci << "\n" << run.out;
    const nlohmann::json adapter = Parse(run)["adapters"][0];
    EXPECT_EQ(adapter["pci"], "0000:03:00.0") << pci;
    EXPECT_EQ(adapter["backup"]["status"], "written") << pci;
  }
}

TEST_F(ToolHostTest, DryRunWritesNothing) {
  const std::string document = dir_.File("request.xml");
  { std::ofstream(document) << "kept"; }
  ToolRun run = Skyfw("flash --dry-run --json --document '" + document + "'");
  ASSERT_EQ(run.exit_code, 0) << run.out;
  EXPECT_TRUE(Parse(run)["dry_run"].get<bool>());
  std::ifstream in(document);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "kept");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("request.xml.device.xml")));
  nlohmann::json unchanged = Parse(Skyfw("discover --json"));
  EXPECT_EQ(AdapterAt(unchanged, "0000:03:00.0")["current_version"], "21.6.2");
}

// As fwupdmgr: what is already there is not written again, nor an older
// version, unless asked for.
TEST_F(ToolHostTest, RewriteAndDowngradeNeedTheirFlags) {
  ASSERT_EQ(Skyfw("flash --json").exit_code, 0);
  nlohmann::json again = Parse(Skyfw("flash --json"));
  for (const auto& adapter : again["adapters"]) {
    EXPECT_EQ(adapter["action"], "rewrite");
    EXPECT_EQ(adapter["install"]["status"], "skipped");
    EXPECT_EQ(adapter["install"]["reason"], "rewrite needs --allow-reinstall");
  }
  EXPECT_FALSE(again["reboot_required"].get<bool>());
  nlohmann::json reinstall = Parse(Skyfw("flash --json --allow-reinstall --skip 0000:05:00.0"));
  EXPECT_EQ(AdapterAt(reinstall, "0000:03:00.0")["install"]["status"], "installed");

  const std::string old_package = std::string(SKYFW_FIRMWARE_DIR) + "/skyline-s2-old-21.2.0.pkg";
  ToolRun refused = Skyfw("flash-pci '" + old_package + "' --pci 0000:03:00.0 --json");
  EXPECT_EQ(refused.exit_code, 2) << refused.out;
  EXPECT_EQ(Parse(refused)["adapters"][0]["action"], "downgrade");
  EXPECT_EQ(AdapterAt(Parse(Skyfw("discover --json")), "0000:03:00.0")["current_version"],
            "21.8.0");

  ToolRun allowed =
      Skyfw("flash-pci '" + old_package + "' --pci 0000:03:00.0 --allow-older --json");
  ASSERT_EQ(allowed.exit_code, 0) << allowed.out;
  const nlohmann::json adapter = Parse(allowed)["adapters"][0];
  EXPECT_EQ(adapter["version_after"], "21.2.0");
  EXPECT_TRUE(adapter["pending_reboot"].get<bool>());
}

TEST_F(ToolHostTest, AFailedInstallShowsItsCauseFromTheTrace) {
  // Another maker's package does not apply to the S2.
  const std::string foreign = std::string(SKYFW_FIRMWARE_DIR) + "/acme-165f-1.2.0.pkg";
  ToolRun run = Skyfw("flash-pci '" + foreign + "' --pci 0000:03:00.0 --json");
  EXPECT_EQ(run.exit_code, 7) << run.out;
  nlohmann::json answer = Parse(run);
  EXPECT_EQ(answer["error"]["kind"], "install_failed");
  EXPECT_EQ(answer["error"]["result"]["code"], 106);
  ASSERT_TRUE(answer["error"]["cause"].is_array()) << run.out;
  EXPECT_FALSE(answer["error"]["cause"].empty()) << run.out;
  const auto& adapter = answer["adapters"][0];
  EXPECT_EQ(adapter["install"]["status"], "failed");
  EXPECT_FALSE(adapter["in_place"].get<bool>());
  EXPECT_EQ(adapter["version_after"], "21.6.2");
}

TEST_F(ToolHostTest, RequestIsProcessedAsPrepared) {
  // A request prepared from a discovery, with the S1 at 05 marked by hand.
  ASSERT_EQ(Skyfw("discover -o prepared.xml --json").exit_code, 0);
  const std::string prepared = dir_.File("prepared.xml");
  std::ifstream in(prepared);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  size_t device = text.find("0000:05:00:0");
  ASSERT_NE(device, std::string::npos);
  size_t action = text.find("<action value=\"upgrade\"", device);
  ASSERT_NE(action, std::string::npos);
  text.replace(action, std::string("<action value=\"upgrade\"").size(), "<action value=\"skip\"");
  std::ofstream(prepared, std::ios::binary | std::ios::trunc) << text;

  ToolRun run = Skyfw("flash --request prepared.xml --json");
  ASSERT_EQ(run.exit_code, 0) << run.out;
  nlohmann::json answer = Parse(run);
  EXPECT_EQ(answer["document"], "prepared.xml");
  EXPECT_EQ(AdapterAt(answer, "0000:05:00.0")["install"]["reason"], "marked skip in the request");
  EXPECT_EQ(AdapterAt(answer, "0000:08:00.0")["install"]["status"], "installed");
}

TEST_F(ToolHostTest, EveryFailureIsOneJsonDocumentWithOneErrorShape) {
  struct Case {
    std::string arguments;
    int exit_code;
    const char* kind;
    int result;  // -1: no plug-in result
  };
  const Case cases[] = {
      {"--json bogus-command", 2, "usage", -1},
      {"--json pkg inspect /nonexistent", 5, "not_found", -1},
      {"--json pkg verify /nonexistent", 5, "not_found", -1},
      {"--json sim events '" + dir_.path() + "'", 5, "not_found", -1},
      {"--json sim show '" + dir_.File("nothing") + "'", 5, "not_found", -1},
      {"--json", 2, "usage", -1},
      {"--json flash --nosuchoption", 2, "usage", -1},
      {"--json --plugin /nonexistent/libskyfw.so discover", 3, "plugin", -1},
      {"discover --json --fw '" + dir_.File("missing") + "'", 5, "not_found", 8},
      {"flash-pci x.pkg --pci 0001:03:00.0 --json", 4, "no_device", 102},
      {"flash-pci '" + dir_.File("missing.pkg") + "' --pci 0000:03:00.0 --json", 7,
       "install_failed", 106},
      {"dump '" + dir_.File("no/dir/b.pkg") + "' --pci 0000:03:00.0 --json", 7, "install_failed",
       -101},
  };
  for (const Case& c : cases) {
    ToolRun run = Skyfw(c.arguments);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments << "\n" << run.out;
    nlohmann::json answer = Parse(run);
    ASSERT_TRUE(answer.is_object()) << c.arguments;
    EXPECT_EQ(answer["schema_version"], 1) << c.arguments;
    EXPECT_FALSE(answer["ok"].get<bool>()) << c.arguments;
    EXPECT_EQ(answer["exit_code"], c.exit_code) << c.arguments;
    EXPECT_EQ(answer["error"]["kind"], c.kind) << c.arguments;
    EXPECT_TRUE(answer["error"]["message"].is_string()) << c.arguments;
    if (c.result != -1) {
      EXPECT_EQ(answer["error"]["result"]["code"], c.result) << c.arguments;
    }
  }
}

TEST_F(ToolHostTest, InfoJsonIsPureDespiteThePluginsOwnOutput) {
  ToolRun run = Skyfw("info --json");
  ASSERT_EQ(run.exit_code, 0) << run.out;
  nlohmann::json answer = Parse(run);
  ASSERT_EQ(answer["adapters"].size(), 3u);
  const auto& s1 = AdapterAt(answer, "0000:05:00.0");
  EXPECT_EQ(s1["interface"], "0000:05:00:0");
  EXPECT_EQ(s1["mac"], "02:0a:3b:55:60:10");
  EXPECT_EQ(s1["package_version"], "20.6.1");
  EXPECT_EQ(s1["firmware"][0]["package_version"], "20.6.1");
}

TEST_F(ToolHostTest, VersionNamesTheDevelopmentKeyPlainly) {
  nlohmann::json answer = Parse(Skyfw("--version --json"));
  EXPECT_EQ(answer["program"]["name"], "skyfw");
  EXPECT_TRUE(answer["plugin"]["loaded"].get<bool>()) << answer.dump();
  EXPECT_EQ(answer["signing_key"]["sha256"].get<std::string>().size(), 64u);
  EXPECT_TRUE(answer["signing_key"]["development"].get<bool>());
  ToolRun text = Skyfw("--version");
  EXPECT_NE(text.out.find("DEVELOPMENT KEY"), std::string::npos) << text.out;
}

}  // namespace
}  // namespace skyfw::testing
