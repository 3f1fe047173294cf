#include "diag/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/capturing_platform.h"
#include "support/temp_dir.h"

namespace skyfw {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override { TraceCreateLock(); }
  void TearDown() override { TraceDestroyLock(); }

  testing::CapturingPlatform platform_;
  TempDir dir_;
  std::string log_ = dir_.File("trace.log");
};

TEST_F(TraceLogTest, ReportLineIsWrittenByteForByte) {
  TraceOpen(log_.c_str());
  TraceReport(TraceLevel::DEBUG, "%s(): create XML failed.", "oem_do_discovery_with_files");
  TraceClose();

  const std::string line =
      "[QVFWUPG LIB :DEBUG] 1234.5678: oem_do_discovery_with_files(): create XML failed.\r\n";
  EXPECT_EQ(ReadFile(log_), " " + line);
  EXPECT_EQ(platform_.debugger_lines(), std::vector<std::string>{line});
}

TEST_F(TraceLogTest, InfoLineKeepsTheMessageLineEndBeforeCrLf) {
  TraceOpen(log_.c_str());
  TraceInfo("Enter oem_do_flash_with_file:\n");
  TraceClose();
  EXPECT_EQ(ReadFile(log_), " [QVFWUPG LIB :INFO ] 1234.5678: Enter oem_do_flash_with_file:\n\r\n");
}

TEST_F(TraceLogTest, LevelWords) {
  struct Case {
    uint32_t level;
    const char* word;
  };
  const Case cases[] = {{1, "INFORMATION"}, {2, "WARNING"},      {4, "DEBUG"},
                        {16, "DIAG_ERROR"}, {3, "INFORMATION"},  {6, "WARNING"},
                        {20, "DEBUG"},      {48, "DIAG_ERROR"},  {8, ""},
                        {32, ""},           {255, "INFORMATION"}};
  for (const Case& c : cases) EXPECT_STREQ(TraceLevelWord(c.level), c.word) << c.level;
}

TEST_F(TraceLogTest, LevelWithoutAWordLeavesTheBracketEmpty) {
  TraceOpen(log_.c_str());
  TraceReport(static_cast<TraceLevel>(8), "odd level");
  TraceClose();
  EXPECT_EQ(ReadFile(log_), " [QVFWUPG LIB :] 1234.5678: odd level\r\n");
}

TEST_F(TraceLogTest, ReportLineIsCutAt1024CharactersWithoutLineEnd) {
  const std::string prefix = "[QVFWUPG LIB :DEBUG] 1234.5678: ";
  // Message lengths around the limit: the line with CR LF is prefix + n + 2.
  for (size_t total : {size_t{1023}, size_t{1024}, size_t{1025}, size_t{1026}, size_t{5000}}) {
    std::string message(total - prefix.size() - 2, 'm');
    std::string full = prefix + message + "\r\n";
    std::filesystem::remove(log_);
    TraceOpen(log_.c_str());
    TraceReport(TraceLevel::DEBUG, "%s", message.c_str());
    TraceClose();
    std::string expected = total <= 1024 ? full : full.substr(0, 1024);
    EXPECT_EQ(ReadFile(log_), " " + expected) << "line of " << total;
  }
}

TEST_F(TraceLogTest, InfoLineIsNeverCut) {
  std::string message(5000, 'i');
  TraceOpen(log_.c_str());
  TraceInfo("%s", message.c_str());
  TraceClose();
  EXPECT_EQ(ReadFile(log_), " [QVFWUPG LIB :INFO ] 1234.5678: " + message + "\r\n");
}

TEST_F(TraceLogTest, MessageIsCutToTheTwoMebibyteBuffer) {
  std::string message(kTraceMessageBufferBytes + 100, 'x');
  TraceOpen(log_.c_str());
  TraceInfo("%s", message.c_str());
  TraceClose();
  std::string expected =
      " [QVFWUPG LIB :INFO ] 1234.5678: " + message.substr(0, kTraceMessageBufferBytes - 1) +
      "\r\n";
  EXPECT_EQ(ReadFile(log_), expected);
}

TEST_F(TraceLogTest, ExistingFileIsAppendedToAcrossCalls) {
  WriteFile(log_, "earlier\n");
  for (const char* word : {"first", "second"}) {
    TraceOpen(log_.c_str());
    TraceInfo("%s", word);
    TraceClose();
  }
  EXPECT_EQ(ReadFile(log_),
            "earlier\n [QVFWUPG LIB :INFO ] 1234.5678: first\r\n"
            " [QVFWUPG LIB :INFO ] 1234.5678: second\r\n");
}

TEST_F(TraceLogTest, NothingIsWrittenWhileClosed) {
  TraceInfo("before open");
  TraceReport(TraceLevel::DEBUG, "before open");
  TraceOpen(log_.c_str());
  TraceClose();
  TraceInfo("after close");
  TraceReport(TraceLevel::DIAG_ERROR, "after close");
  EXPECT_EQ(ReadFile(log_), "");
  EXPECT_TRUE(platform_.debugger_lines().empty());
  EXPECT_EQ(TraceLevelMask(), 0u);
}

TEST_F(TraceLogTest, EmptyFormatWritesNothing) {
  TraceOpen(log_.c_str());
  TraceInfo("%s", "");  // an empty message is still a line
  const char* no_format = nullptr;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
  TraceInfo(no_format);
  TraceReport(TraceLevel::DEBUG, no_format);
#pragma GCC diagnostic pop
  TraceClose();
  EXPECT_EQ(platform_.debugger_lines().size(), 1u);
}

TEST_F(TraceLogTest, EmptyPathReachesTheDebuggerOnly) {
  TraceOpen("");
  TraceInfo("to the debugger");
  TraceClose();
  EXPECT_EQ(platform_.debugger_lines(),
            std::vector<std::string>{"[QVFWUPG LIB :INFO ] 1234.5678: to the debugger\r\n"});
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(TraceLogTest, FailedOpenIsNotRetriedUntilRearmed) {
  std::string unreachable = dir_.File("missing/trace.log");
  TraceOpen(unreachable.c_str());
  TraceClose();
  // Without a new path from the host the open is not tried again.
  TraceOpen(log_.c_str());
  TraceInfo("debugger only");
  TraceClose();
  EXPECT_FALSE(std::filesystem::exists(log_));

  TraceRearmOpen();
  TraceOpen(log_.c_str());
  TraceInfo("now in the file");
  TraceClose();
  EXPECT_EQ(ReadFile(log_), " [QVFWUPG LIB :INFO ] 1234.5678: now in the file\r\n");
}

TEST_F(TraceLogTest, WideTextIsWrittenAsUtf8) {
  TraceOpen(log_.c_str());
  TraceInfo("adapter : %ls\n", L"Skyline \u00e9\U0001F600");
  TraceClose();
  EXPECT_EQ(ReadFile(log_),
            " [QVFWUPG LIB :INFO ] 1234.5678: adapter : Skyline \xC3\xA9\xF0\x9F\x98\x80\n\r\n");
}

TEST_F(TraceLogTest, LinesOfConcurrentCallersNeverInterleave) {
  TraceOpen(log_.c_str());
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string payload(300, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) {
        if (i % 2 == 0) {
          TraceInfo("%s", payload.c_str());
        } else {
          TraceReport(TraceLevel::WARNING, "%s", payload.c_str());
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  TraceClose();

  std::string content = ReadFile(log_);
  size_t lines = 0;
  for (size_t start = 0; start < content.size(); ++lines) {
    size_t end = content.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    std::string line = content.substr(start, end - start);
    std::string payload = line.substr(line.find(": ") + 2);
    ASSERT_EQ(payload.size(), 300u) << line;
    EXPECT_EQ(payload.find_first_not_of(payload[0]), std::string::npos) << line;
    start = end + 2;
  }
  EXPECT_EQ(lines, size_t{kThreads * kLines});
}

TEST_F(TraceLogTest, WithoutTheLockNothingIsWritten) {
  TraceDestroyLock();
  TraceOpen(log_.c_str());
  TraceInfo("no lock yet");
  TraceClose();
  EXPECT_TRUE(platform_.debugger_lines().empty());
  TraceCreateLock();
}

}  // namespace
}  // namespace skyfw
