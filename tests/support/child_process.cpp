#include "support/child_process.h"

#include <cerrno>
#include <cstring>
#include <optional>

#if defined(_WIN32)
#include <windows.h>

#include "base/unicode.h"
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace skyfw::testing {

#if defined(_WIN32)

namespace {

// One argument as the C runtime's command-line parser reads it back.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line.push_back(L'"');
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line.push_back(c);
  }
  line.append(backslashes * 2, L'\\');
  line.push_back(L'"');
}

HANDLE Inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

void CloseIfOpen(void*& handle) {
  if (handle != nullptr) CloseHandle(static_cast<HANDLE>(handle));
  handle = nullptr;
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& error, ErrorOutput errors, const std::string& folder) {
  // The command line first: a word that is not UTF-8 would reach the program
  // as another word.
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::wstring line;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::optional<std::wstring> wide = platform::ToWide(words[i]);
    if (!wide) {
      error = "not UTF-8: " + words[i];
      return false;
    }
    if (i > 0) line.push_back(L' ');
    AppendQuoted(line, *wide);
  }
  const std::optional<std::wstring> wide_folder = platform::ToWide(folder);
  if (!wide_folder) {
    error = "not UTF-8: " + folder;
    return false;
  }

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE input_read = nullptr;
  HANDLE input_write = nullptr;
  HANDLE output_read = nullptr;
  HANDLE output_write = nullptr;
  if (!CreatePipe(&input_read, &input_write, &inherit, 0)) {
    error = "CreatePipe: " + std::to_string(GetLastError());
    return false;
  }
  if (!CreatePipe(&output_read, &output_write, &inherit, 0)) {
    error = "CreatePipe: " + std::to_string(GetLastError());
    CloseHandle(input_read);
    CloseHandle(input_write);
    return false;
  }
  // The test's ends stay out of every child.
  SetHandleInformation(input_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(output_read, HANDLE_FLAG_INHERIT, 0);
  HANDLE error_handle = nullptr;
  if (errors == ErrorOutput::kMerged) {
    error_handle = Inheritable(output_write);
  } else if (errors == ErrorOutput::kDropped) {
    error_handle = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    if (error_handle == INVALID_HANDLE_VALUE) error_handle = nullptr;
  } else {
    error_handle = Inheritable(GetStdHandle(STD_ERROR_HANDLE));
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input_read;
  startup.hStdOutput = output_write;
  startup.hStdError = error_handle;
  PROCESS_INFORMATION started{};
  BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           folder.empty() ? nullptr : wide_folder->c_str(), &startup, &started);
  const DWORD failure = ok ? 0 : GetLastError();
  CloseHandle(input_read);
  CloseHandle(output_write);
  if (error_handle != nullptr) CloseHandle(error_handle);
  if (!ok) {
    error = "CreateProcessW: " + std::to_string(failure);
    CloseHandle(input_write);
    CloseHandle(output_read);
    return false;
  }
  CloseHandle(started.hThread);
  process_ = started.hProcess;
  to_child_ = input_write;
  from_child_ = output_read;
  return true;
}

bool ChildProcess::running() const { return process_ != nullptr; }

bool ChildProcess::ReadByte(char& c) {
  DWORD read = 0;
  return from_child_ != nullptr &&
         ReadFile(static_cast<HANDLE>(from_child_), &c, 1, &read, nullptr) && read == 1;
}

bool ChildProcess::Write(std::string_view bytes) {
  DWORD written = 0;
  return to_child_ != nullptr &&
         WriteFile(static_cast<HANDLE>(to_child_), bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, nullptr) &&
         written == bytes.size();
}

void ChildProcess::CloseInput() { CloseIfOpen(to_child_); }
void ChildProcess::CloseOutput() { CloseIfOpen(from_child_); }

int ChildProcess::Wait(std::string* how) {
  CloseInput();
  CloseOutput();
  if (process_ == nullptr) return -1;
  WaitForSingleObject(static_cast<HANDLE>(process_), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(static_cast<HANDLE>(process_), &code);
  CloseIfOpen(process_);
  // TerminateProcess gives the code the killer chose; the tests' killers use 9.
  if (how != nullptr) *how = "exit code " + std::to_string(code);
  return static_cast<int>(code);
}

#else

namespace {

void CloseIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& error, ErrorOutput errors, const std::string& folder) {
  int input[2];
  int output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (::pipe2(output, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    ::close(input[0]);
    ::close(input[1]);
    return false;
  }
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the copies; every other pipe end of this or
  // an earlier child stays out of the new process.
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  if (errors == ErrorOutput::kMerged) {
    posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
  } else if (errors == ErrorOutput::kDropped) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  int spawned = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  if (spawned != 0) {
    error = std::string("posix_spawn: ") + std::strerror(spawned);
    ::close(input[1]);
    ::close(output[0]);
    pid_ = -1;
    return false;
  }
  to_child_ = input[1];
  from_child_ = output[0];
  return true;
}

bool ChildProcess::running() const { return pid_ >= 0; }

bool ChildProcess::ReadByte(char& c) {
  for (;;) {
    ssize_t count = ::read(from_child_, &c, 1);
    if (count < 0 && errno == EINTR) continue;
    return count == 1;
  }
}

bool ChildProcess::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(to_child_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void ChildProcess::CloseInput() { CloseIfOpen(to_child_); }
void ChildProcess::CloseOutput() { CloseIfOpen(from_child_); }

int ChildProcess::Wait(std::string* how) {
  CloseInput();
  CloseOutput();
  if (pid_ < 0) return -1;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFEXITED(status)) {
    if (how != nullptr) *how = "exit status " + std::to_string(WEXITSTATUS(status));
    return WEXITSTATUS(status);
  }
  if (how != nullptr) {
    *how = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : "stopped";
  }
  return -1;
}

#endif

ChildProcess::~ChildProcess() { Wait(); }

bool ChildProcess::ReadLine(std::string& line) {
  line.clear();
  char c = 0;
  while (ReadByte(c)) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line.push_back(c);
  }
  return false;
}

std::string ChildProcess::ReadAll() {
  std::string all;
  char c = 0;
  while (ReadByte(c)) all.push_back(c);
  return all;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      ErrorOutput errors, const std::string& folder) {
  ProgramRun run;
  ChildProcess child;
  std::string error;
  if (!child.Start(program, arguments, error, errors, folder)) {
    run.out = error;
    return run;
  }
  child.CloseInput();
  run.out = child.ReadAll();
  run.exit_code = child.Wait();
  return run;
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < text.size()) {
    size_t blank = text.find(' ', start);
    if (blank == std::string_view::npos) blank = text.size();
    if (blank > start) words.emplace_back(text.substr(start, blank - start));
    start = blank + 1;
  }
  return words;
}

}  // namespace skyfw::testing
