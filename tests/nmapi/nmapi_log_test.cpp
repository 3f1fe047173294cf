// The library's log: configuration, levels, line format, the log file.
#include "nmapi/nmapi_log.h"

#include <cstdio>
#include <string>

#include "nmapi/library_state.h"
#include "nmapi_fixture.h"

namespace skyfw::test {
namespace {

using testing::ReadFile;

class NmapiLogTest : public NmapiTest {};

TEST(NmapiLogLevels, SettingSelectsLevelMask) {
  struct Case {
    uint32_t setting;
    uint32_t mask;
  };
  for (Case c : {Case{1, 0xF}, Case{2, 0xE}, Case{4, 0xC}, Case{8, 0x8}, Case{3, 0}, Case{0, 0},
                 Case{0x10, 0}}) {
    EXPECT_EQ(LevelMaskForSetting(c.setting), c.mask) << c.setting;
  }
}

TEST_F(NmapiLogTest, SettingFourWritesOnlyErrorLines) {
  WriteConfiguration(machine, "# management apps\nngnmapi 4\n");
  // No adapter: the start fails with an ERROR line among INFORMATION ones.
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  std::string log = ReadFile(LogFile(machine).string());
  EXPECT_NE(log.find("NMAPI ERROR       123456 4242.77: InitInternalData(): read configuration "
                     "failed(21)"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("INFORMATION"), std::string::npos) << log;
}

TEST_F(NmapiLogTest, OnlyTheFirstMatchingLineCounts) {
  WriteConfiguration(machine, "ngnmapi 3\nngnmapi 1\n");
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  EXPECT_FALSE(std::filesystem::exists(LogFile(machine).parent_path()));
  EXPECT_TRUE(machine.debugOutput.empty());
}

TEST_F(NmapiLogTest, NoMatchingLineOrNoFileMeansNoLog) {
  const char* configurations[] = {"other 1\nNGNMAPI 1\n", nullptr};  // nullptr: no file
  for (const char* configuration : configurations) {
    if (configuration != nullptr) {
      WriteConfiguration(machine, configuration);
    } else {
      std::filesystem::remove(ConfigurationFile(machine));
    }
    EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
    EXPECT_FALSE(std::filesystem::exists(LogFile(machine)));
    EXPECT_EQ(State().levelMask, 0u);
  }
}

TEST_F(NmapiLogTest, LongConfigurationLineIsReadInChunks) {
  // The word lands in the second 255-character chunk, which starts with it.
  WriteConfiguration(machine, std::string(255, '#') + "ngnmapi 2\n");
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  EXPECT_EQ(State().levelMask, 0xEu);
}

TEST_F(NmapiLogTest, ExistingLogFileIsAppendedTo) {
  std::filesystem::create_directories(LogFile(machine).parent_path());
  testing::WriteFile(LogFile(machine).string(), "earlier line\r\n");
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  std::string log = ReadFile(LogFile(machine).string());
  EXPECT_EQ(log.rfind("earlier line\r\n", 0), 0u) << log;
  EXPECT_NE(log.find("Read configuration"), std::string::npos);
}

// Another process may write between this one's seek to the end and its
// write (the mutex wait is bounded): only an append-mode stream keeps both
// lines. A newly created log was once written at the position sought.
TEST_F(NmapiLogTest, TheLogIsWrittenAtItsEndWhateverThePosition) {
  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "existing log" : "new log");
    testing::RemoveTree(LogFile(machine).parent_path());
    if (existing) {
      std::filesystem::create_directories(LogFile(machine).parent_path());
      testing::WriteFile(LogFile(machine).string(), "earlier line\r\n");
    }
    WriteConfiguration(machine, "ngnmapi 1\n");
    ASSERT_EQ(InitializeLogFile(), ngNMAPI_OK);
    std::FILE* file = State().logFile.get();
    ASSERT_NE(file, nullptr);
    NmapiLog(kLogInformation, "first\r\n");
    // What another process's write does to this one's view: the position
    // is no longer the end.
    ASSERT_EQ(std::fseek(file, 0, SEEK_SET), 0);
    std::fputs("second\r\n", file);
    std::fflush(file);
    UnInitializeLogFile();
    std::string log = ReadFile(LogFile(machine).string());
    EXPECT_EQ(log.rfind(existing ? "earlier line\r\n" : "", 0), 0u) << log;
    EXPECT_NE(log.find("first\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("second\r\n"), std::string::npos) << log;
    EXPECT_LT(log.find("first\r\n"), log.find("second\r\n")) << log;
  }
}

TEST_F(NmapiLogTest, LogFolderThatCannotBeMadeFailsTheStart) {
  // A file where the log folder belongs: neither the folder nor the log can be created.
  std::filesystem::create_directories(LogFile(machine).parent_path().parent_path());
  testing::WriteFile(LogFile(machine).parent_path().string(), "in the way");
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_LOG_FILE_FAILED);
}

TEST_F(NmapiLogTest, LineFormatHasNoTerminatorOfItsOwn) {
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  machine.debugOutput.clear();
  NmapiLog(kLogInformation, "Enter ngNmapiUninitialize()");
  NmapiLog(kLogWarning, "value %d\r\n", 7);
  ASSERT_EQ(machine.debugOutput.size(), 2u);
  std::string stamp = kNmapiBuildStamp;
  ASSERT_EQ(stamp.size(), 20u);
  EXPECT_EQ(stamp[3], ' ');
  EXPECT_EQ(stamp[11], ' ');
  EXPECT_EQ(machine.debugOutput[0],
            stamp + " NMAPI INFORMATION 123456 4242.77: Enter ngNmapiUninitialize()");
  EXPECT_EQ(machine.debugOutput[1], stamp + " NMAPI WARNING     123456 4242.77: value 7\r\n");
  std::string log = ReadFile(LogFile(machine).string());
  EXPECT_NE(log.find("Enter ngNmapiUninitialize()" + stamp + " NMAPI WARNING"), std::string::npos);
}

TEST_F(NmapiLogTest, LevelWordIsThatOfTheLowestBit) {
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  machine.debugOutput.clear();
  NmapiLog(kLogError | kLogDiagError, "x");
  NmapiLog(kLogDiagError, "y");
  ASSERT_EQ(machine.debugOutput.size(), 2u);
  EXPECT_NE(machine.debugOutput[0].find(" NMAPI ERROR       "), std::string::npos);
  EXPECT_NE(machine.debugOutput[1].find(" NMAPI DIAG_ERROR  "), std::string::npos);
}

TEST_F(NmapiLogTest, LongMessageIsCutToTheBuffer) {
  EXPECT_EQ(ngNmapiInitialize(216, 0, 41), ngNMAPI_NO_ADAPTER);
  machine.debugOutput.clear();
  std::string huge(5000, 'x');
  NmapiLog(kLogError, "%s|%s", huge.c_str(), huge.c_str());
  ASSERT_EQ(machine.debugOutput.size(), 1u);
  EXPECT_EQ(machine.debugOutput[0].size(), kLogBufferSize - 1);
  EXPECT_EQ(machine.debugOutput[0].back(), 'x');
}

TEST_F(NmapiLogTest, UninitializeClosesTheLog) {
  machine.AddSkylinePort(1, {});
  Start();
  EXPECT_EQ(ngNmapiUninitialize(), ngNMAPI_OK);
  EXPECT_EQ(State().levelMask, 0u);
  EXPECT_FALSE(State().logFile);
  std::string log = ReadFile(LogFile(machine).string());
  EXPECT_NE(log.find("UnInitializeLogFile() close logging system\r\n"), std::string::npos);
}

}  // namespace
}  // namespace skyfw::test
