#include "concurrency/host_processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace skyfw::testing {
namespace {

struct Child {
  pid_t pid = -1;
  int to_child = -1;    // its standard input
  int from_child = -1;  // its standard output
};

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// One line from the child, without its line feed; false at end of file.
bool ReadLine(int fd, std::string& line) {
  line.clear();
  char c = 0;
  for (;;) {
    ssize_t count = ::read(fd, &c, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count != 1) return false;
    if (c == '\n') return true;
    line.push_back(c);
  }
}

bool Spawn(const std::vector<std::string>& call, Child& child, std::string& error) {
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
  std::vector<std::string> arguments = {SKYFW_OEM_CALL_PATH, SKYFW_PLUGIN_PATH};
  arguments.insert(arguments.end(), call.begin(), call.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the copies; every other pipe end of this or
  // an earlier child stays out of the new process.
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  int spawned = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  if (spawned != 0) {
    error = std::string("posix_spawn: ") + std::strerror(spawned);
    ::close(input[1]);
    ::close(output[0]);
    child.pid = -1;
    return false;
  }
  child.to_child = input[1];
  child.from_child = output[0];
  return true;
}

}  // namespace

std::vector<HostOutcome> RunTogether(const std::string& machine,
                                     const std::vector<std::vector<std::string>>& calls) {
  ::setenv("SKYFW_MACHINE", machine.c_str(), 1);
  std::vector<Child> children(calls.size());
  std::vector<HostOutcome> outcomes(calls.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    Spawn(calls[i], children[i], outcomes[i].diagnostic);
  }
  // Every process has loaded the plug-in before any call starts.
  std::string line;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (children[i].pid < 0) continue;
    if (!ReadLine(children[i].from_child, line) || line != "ready") {
      outcomes[i].diagnostic = "not ready: " + line;
    }
  }
  for (Child& child : children) {
    if (child.to_child >= 0 && ::write(child.to_child, "g", 1) != 1) {
      // The process is gone; its exit status tells the rest.
    }
    CloseFd(child.to_child);
  }
  for (size_t i = 0; i < calls.size(); ++i) {
    Child& child = children[i];
    if (child.pid < 0) continue;
    // Whatever the plug-in printed itself comes before the result line.
    while (ReadLine(child.from_child, line)) {
      if (line.rfind("result ", 0) != 0) continue;
      outcomes[i].answered = true;
      outcomes[i].result = static_cast<int32_t>(std::strtol(line.c_str() + 7, nullptr, 10));
      break;
    }
    CloseFd(child.from_child);
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcomes[i].exited_cleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!outcomes[i].exited_cleanly) {
      outcomes[i].diagnostic += WIFSIGNALED(status)
                                    ? " killed by signal " + std::to_string(WTERMSIG(status))
                                    : " exit status " + std::to_string(WEXITSTATUS(status));
    }
  }
  return outcomes;
}

HostOutcome RunAlone(const std::string& machine, const std::vector<std::string>& call) {
  return RunTogether(machine, {call}).front();
}

}  // namespace skyfw::testing
