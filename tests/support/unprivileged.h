// Running a check as an unprivileged user. Root may write any file, so the
// rows about files the caller may not write run as nobody when the suite runs
// as root (as CI does), rather than being skipped.
#pragma once

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace skyfw::testing {

inline constexpr uid_t kNobody = 65534;
inline constexpr gid_t kNoGroup = 65534;
// What RunUnprivileged answers when the child could not drop its privileges.
inline constexpr int kCouldNotDropPrivileges = -1000;
// The child's exit status for that: no errno value, nor -1 in 8 bits.
inline constexpr int kDropFailedStatus = 200;

inline bool RunningAsRoot() { return ::geteuid() == 0; }

// Hands a folder and everything in it to nobody (when root), so that the
// unprivileged side can work there.
inline void GiveToUnprivileged(const std::string& folder) {
  if (!RunningAsRoot()) return;
  ::chown(folder.c_str(), kNobody, kNoGroup);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    ::lchown(entry.path().c_str(), kNobody, kNoGroup);
  }
}

// Runs body in a child as nobody when root, else here. Only for processes
// that have not loaded the plug-in: programs that do are started through
// UnprivilegedCommand instead.
inline int RunUnprivileged(const std::function<int()>& body) {
  if (!RunningAsRoot()) return body();
  const pid_t child = ::fork();
  if (child < 0) return kCouldNotDropPrivileges;
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNoGroup) != 0 || ::setuid(kNobody) != 0) {
      ::_exit(kDropFailedStatus);
    }
    // Exit statuses carry 8 bits: the error codes checked here are small.
    ::_exit(body() & 0xFF);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) == kDropFailedStatus)
    return kCouldNotDropPrivileges;
  return static_cast<signed char>(WEXITSTATUS(status));
}

// The words of a command that runs `command` (program first) as nobody when
// root.
inline std::vector<std::string> UnprivilegedCommand(std::vector<std::string> command) {
  if (!RunningAsRoot()) return command;
  command.insert(command.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  return command;
}

}  // namespace skyfw::testing
