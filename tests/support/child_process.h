// Programs started by tests, the same way on Linux (posix_spawn) and Windows
// (CreateProcessW): arguments are passed as they are, no shell in between.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skyfw::testing {

// Where a program's standard error goes: the test's own, nowhere, or into its
// standard output pipe.
enum class ErrorOutput { kInherited, kDropped, kMerged };

// A running program with a pipe to its standard input and one from its
// standard output.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // closes the pipes and waits for the program
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program with the arguments (argv[1]...), in `folder` when one is
  // given; false with the reason. A bare program name is looked up in PATH.
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             std::string& error, ErrorOutput errors = ErrorOutput::kInherited,
             const std::string& folder = {});
  bool running() const;

  // One line of its output without the line end; false at end of output.
  bool ReadLine(std::string& line);
  // The rest of its output.
  std::string ReadAll();
  bool Write(std::string_view bytes);
  void CloseInput();
  // Waits for its end: the exit code, or -1 when it did not exit normally
  // (killed); `how` then names the signal.
  int Wait(std::string* how = nullptr);

 private:
  bool ReadByte(char& c);
  void CloseOutput();
#if defined(_WIN32)
  void* process_ = nullptr;
  void* to_child_ = nullptr;
  void* from_child_ = nullptr;
#else
  int pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
#endif
};

struct ProgramRun {
  int exit_code = -1;
  std::string out;
};

// Runs a program to its end with no input: its exit code and standard output
// (standard error dropped, or merged into it). `folder`, when given, is its
// working folder.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      ErrorOutput errors, const std::string& folder = {});

// A command's words as the tests write them: split at blanks, no quoting.
std::vector<std::string> Words(std::string_view text);

}  // namespace skyfw::testing
