// The program and the plug-in against outputs they must not replace and
// inputs they must not block on, run as an unprivileged user when the suite
// runs as root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/machine/machine.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace skyfw::testing {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exit_code = -1;
  nlohmann::json answer;
};

class ToolOutputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    machine_ = dir_.File("machine");
    ASSERT_TRUE(sim::InitMachine(machine_, sim::DemoMachineJson(), error)) << error;
  }

  // Runs skyfw with --json in the test's folder, as nobody when root.
  ToolRun Skyfw(const std::string& arguments) {
    GiveToUnprivileged(dir_.path());
    std::vector<std::string> tool = {SKYFW_PROGRAM_PATH, "--machine", machine_};
    for (std::string& word : Words(arguments)) tool.push_back(std::move(word));
    tool.push_back("--json");
    // A call that hangs ends here with exit status 124 instead of holding the
    // suite until its time-out.
    std::vector<std::string> command = {"timeout", "120"};
    for (std::string& word : UnprivilegedCommand(std::move(tool))) {
      command.push_back(std::move(word));
    }
    const ProgramRun run = RunProgram(command.front(), {command.begin() + 1, command.end()},
                                      ErrorOutput::kDropped, dir_.path());
    return {run.exit_code, nlohmann::json::parse(run.out, nullptr, false)};
  }

  static int ResultCode(const ToolRun& run) {
    return run.answer.is_object() ? run.answer["result"]["code"].get<int>() : -9999;
  }

  TempDir dir_;
  std::string machine_;
};

TEST_F(ToolOutputsTest, DumpOntoReadOnlyFileIsRefusedAndTheFileStays) {
  WriteFile(dir_.File("kept.pkg"), "precious");
  ::chmod(dir_.File("kept.pkg").c_str(), 0444);
  ToolRun run = Skyfw("dump kept.pkg --pci 0000:03:00.0");
  EXPECT_EQ(ResultCode(run), -101);
  EXPECT_EQ(ReadFile(dir_.File("kept.pkg")), "precious");
  EXPECT_EQ(fs::status(dir_.File("kept.pkg")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(ToolOutputsTest, DumpThroughSymbolicLinkKeepsTheLink) {
  fs::create_directory(dir_.File("backups"));
  WriteFile(dir_.File("backups/nx0.pkg"), "old");
  fs::create_symlink("backups/nx0.pkg", dir_.File("latest.pkg"));
  ToolRun run = Skyfw("dump latest.pkg --pci 0000:03:00.0");
  EXPECT_EQ(ResultCode(run), 0);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir_.File("latest.pkg"))));
  EXPECT_EQ(ReadFile(dir_.File("backups/nx0.pkg")).substr(0, 4), "PKG0");
}

TEST_F(ToolOutputsTest, DiscoveryDocumentOntoReadOnlyFileIsRefusedAndTheFileStays) {
  WriteFile(dir_.File("discovery.xml"), "<kept/>");
  ::chmod(dir_.File("discovery.xml").c_str(), 0444);
  ToolRun run = Skyfw("discover -o discovery.xml");
  EXPECT_EQ(ResultCode(run), 12);  // the discovery document could not be created
  EXPECT_EQ(ReadFile(dir_.File("discovery.xml")), "<kept/>");
}

TEST_F(ToolOutputsTest, OutputsOntoFifoAreRefusedWithoutReplacingIt) {
  ASSERT_EQ(::mkfifo(dir_.File("pipe").c_str(), 0666), 0);
  EXPECT_EQ(ResultCode(Skyfw("discover -o pipe")), 12);
  EXPECT_EQ(ResultCode(Skyfw("dump pipe --pci 0000:03:00.0")), -101);
  EXPECT_TRUE(fs::is_fifo(dir_.File("pipe")));
}

struct FifoInput {
  const char* name;
  const char* fifo;  // in the test's folder
};

void PrintTo(const FifoInput& row, std::ostream* out) { *out << row.fifo; }

class FifoInputTest : public ToolOutputsTest, public ::testing::WithParamInterface<FifoInput> {};

// Nothing ever writes to these FIFOs: opening one for reading as a file would
// wait forever.
TEST_P(FifoInputTest, DiscoveryDoesNotHang) {
  fs::create_directory(dir_.File("firmware"));
  ASSERT_EQ(::mkfifo(dir_.File(GetParam().fifo).c_str(), 0666), 0);
  ToolRun run = Skyfw("discover --fw firmware -o discovery.xml");
  EXPECT_NE(run.exit_code, 124) << "the call hung";
  EXPECT_TRUE(run.answer.is_object());
}

INSTANTIATE_TEST_SUITE_P(Inputs, FifoInputTest,
                         ::testing::Values(FifoInput{"Catalogue", "firmware/NICFWData.xml"},
                                           FifoInput{"InstallerDescriptor", "KB4711.xml"}),
                         [](const ::testing::TestParamInfo<FifoInput>& row) {
                           return std::string(row.param.name);
                         });

}  // namespace
}  // namespace skyfw::testing
