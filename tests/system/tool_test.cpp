#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using skyfw::testing::ReadFile;
using skyfw::testing::TempDir;

using skyfw::testing::ErrorOutput;
using skyfw::testing::ProgramRun;

// Runs the skyfw program with the arguments; standard error is dropped unless
// asked for (then it follows standard output).
ProgramRun RunProgram(const std::string& arguments, bool with_errors = false) {
  return skyfw::testing::RunProgram(SKYFW_PROGRAM_PATH, skyfw::testing::Words(arguments),
                                    with_errors ? ErrorOutput::kMerged : ErrorOutput::kDropped);
}

TEST(ToolTest, TextPrintsExactlyThePluginText) {
  struct Case {
    const char* code;
    const char* out;
  };
  const Case cases[] = {
      {"3", "The installation was not attempted because of Miscellaneous reasons."},
      {"13", "Unsupported Error Code!"},
      {"0", "The installation of the deliverable was successful.\r\n"},
      {"-- -1", "Unsupported Error Code!"},
  };
  for (const Case& c : cases) {
    ProgramRun run = RunProgram(std::string("text ") + c.code);
    EXPECT_EQ(run.exit_code, 0) << c.code;
    EXPECT_EQ(run.out, c.out) << c.code;
  }
}

TEST(ToolTest, TextAsJson) {
  ProgramRun run = RunProgram("--json text 102");
  EXPECT_EQ(run.exit_code, 0);
  nlohmann::json answer = nlohmann::json::parse(run.out);
  EXPECT_EQ(answer["command"], "text");
  EXPECT_EQ(answer["result"]["code"], 102);
  EXPECT_EQ(answer["result"]["text"], "The installer library Failed to Discover Device.");
}

TEST(ToolTest, TraceOptionLeavesEnterAndLeaveLines) {
  TempDir dir;
  std::string log = dir.File("t.log");
  ProgramRun run = RunProgram("--trace " + log + " text 0");
  EXPECT_EQ(run.exit_code, 0);
  std::string trace = ReadFile(log);
  EXPECT_NE(trace.find(": Enter oem_text_for_error_code:\n\r\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find(": Leave oem_text_for_error_code:\n\r\n"), std::string::npos) << trace;
  EXPECT_EQ(trace.rfind(" [QVFWUPG LIB :INFO ] ", 0), 0u) << trace;
}

TEST(ToolTest, ExitCodes) {
  struct Case {
    const char* arguments;
    int exit_code;
  };
  const Case cases[] = {
      {"text", 2},              // no code
      {"text abc", 2},          // not a number
      {"text 99999999999", 2},  // past 32 bits
      {"nosuchcommand", 2},
      {"--help", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunProgram(c.arguments).exit_code, c.exit_code) << c.arguments;
  }
}

TEST(ToolTest, PluginErrorsSayWhatIsWrong) {
  ProgramRun missing = RunProgram("--plugin /nonexistent/libskyfw.so text 1", true);
  EXPECT_EQ(missing.exit_code, 3);
  EXPECT_EQ(missing.out.rfind("skyfw: cannot load the plug-in /nonexistent/libskyfw.so: ", 0), 0u)
      << missing.out;

  ProgramRun lacking =
      RunProgram(std::string("--plugin ") + SKYFW_NOT_A_PLUGIN_PATH + " text 1", true);
  EXPECT_EQ(lacking.exit_code, 3);
  EXPECT_EQ(lacking.out, std::string("skyfw: the plug-in ") + SKYFW_NOT_A_PLUGIN_PATH +
                             " has no entry point oem_text_for_error_code\n");
}

// A 36-byte package whose manifest claims 2^32 - 1 entries of no length:
// inspect once listed them all and died of bad_alloc. It lists what the file
// holds and says where the manifest runs out.
TEST(ToolTest, PkgInspectBoundsTheManifestCountByTheFile) {
  TempDir dir;
  const unsigned char package[36] = {
      'P', 'K', 'G', '0', 4,  0, 0, 0, 12,   0,    0,    0,  // no properties
      'M', 'a', 'n', '0', 20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
      0,   0,   0,   0,   0,  0, 0, 0,  // descriptor and identity lengths 0
      0,   0,   0,   0};                // CRC
  std::string path = dir.File("claims.pkg");
  skyfw::testing::WriteFile(path, std::string(reinterpret_cast<const char*>(package), 36));
  for (const char* format : {"--json ", ""}) {
    SCOPED_TRACE(format);
    ProgramRun run = RunProgram(std::string("pkg inspect ") + format + path);
    EXPECT_EQ(run.exit_code, 0) << run.out;
    EXPECT_NE(run.out.find("INVALID_MANIFEST"), std::string::npos) << run.out;
    EXPECT_LT(run.out.size(), 4096u);
  }
}

// A resource's length is 16 bits: make-vpd once wrote a longer identifier or
// section cut, a malformed VPD, and exited 0.
TEST(ToolTest, PkgMakeVpdRefusesResourcesLongerThan65535Bytes) {
#if defined(_WIN32)
  // A Windows command line holds at most 32767 characters (CreateProcessW
  // refuses a longer one), so no resource this long reaches the program there.
  GTEST_SKIP() << "a Windows command line cannot carry 64 KiB";
#endif
  TempDir dir;
  std::string many_keywords;
  for (int i = 0; i < 260; ++i)
    many_keywords += " --ro Z" + std::to_string(i % 10) + "=" + std::string(255, 'v');
  const std::string cases[] = {
      "--id " + std::string(65536, 'i'),
      many_keywords,
  };
  for (const std::string& arguments : cases) {
    std::string out = dir.File("vpd.bin");
    ProgramRun run = RunProgram("pkg make-vpd -o " + out + " " + arguments, true);
    EXPECT_EQ(run.exit_code, 2) << run.out.substr(0, 200);
    EXPECT_NE(run.out.find("at most 65535 bytes"), std::string::npos) << run.out.substr(0, 200);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  // The longest identifier still goes.
  ProgramRun longest =
      RunProgram("pkg make-vpd -o " + dir.File("v.bin") + " --id " + std::string(65535, 'i'));
  EXPECT_EQ(longest.exit_code, 0);
}

}  // namespace
