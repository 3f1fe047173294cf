#include "system/host_processes.h"

#include <cstdlib>
#include <memory>

#include "os/environment.h"
#include "support/child_process.h"

namespace skyfw::testing {

std::vector<HostOutcome> RunTogether(const std::string& machine,
                                     const std::vector<std::vector<std::string>>& calls) {
  platform::SetEnvironmentText("SKYFW_MACHINE", machine);
  std::vector<std::unique_ptr<ChildProcess>> children;
  std::vector<HostOutcome> outcomes(calls.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    std::vector<std::string> arguments = {SKYFW_PLUGIN_PATH};
    arguments.insert(arguments.end(), calls[i].begin(), calls[i].end());
    children.push_back(std::make_unique<ChildProcess>());
    children[i]->Start(SKYFW_OEM_CALL_PATH, arguments, outcomes[i].diagnostic);
  }
  // Every process has loaded the plug-in before any call starts.
  std::string line;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (!children[i]->running()) continue;
    if (!children[i]->ReadLine(line) || line != "ready") {
      outcomes[i].diagnostic = "not ready: " + line;
    }
  }
  for (auto& child : children) {
    // A process that is gone fails the write; its exit status tells the rest.
    if (child->running()) child->Write("g");
    child->CloseInput();
  }
  for (size_t i = 0; i < calls.size(); ++i) {
    ChildProcess& child = *children[i];
    if (!child.running()) continue;
    // Whatever the plug-in printed itself comes before the result line.
    while (child.ReadLine(line)) {
      if (line.rfind("result ", 0) != 0) continue;
      outcomes[i].answered = true;
      outcomes[i].result = static_cast<int32_t>(std::strtol(line.c_str() + 7, nullptr, 10));
      break;
    }
    std::string how;
    outcomes[i].exited_cleanly = child.Wait(&how) == 0;
    if (!outcomes[i].exited_cleanly) outcomes[i].diagnostic += " " + how;
  }
  return outcomes;
}

HostOutcome RunAlone(const std::string& machine, const std::vector<std::string>& call) {
  return RunTogether(machine, {call}).front();
}

}  // namespace skyfw::testing
