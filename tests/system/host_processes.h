// Hosts of the plug-in as separate processes (the oem_call program), started
// so that their calls begin at the same moment. Each process loads the
// plug-in on its own, as two vendor hosts on one machine would: nothing of
// one process's library state, open files or locks is shared with another.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skyfw::testing {

struct HostOutcome {
  bool exited_cleanly = false;  // exit status 0, no signal
  bool answered = false;        // a result line was read
  int32_t result = 0;
  std::string diagnostic;  // what went wrong around the call, for the test's message
};

// Starts one oem_call process per entry of `calls` (its arguments after the
// plug-in path) with SKYFW_MACHINE set to `machine`, waits until every one
// has loaded the plug-in, lets them all go at once and collects the results
// in the order of `calls`.
std::vector<HostOutcome> RunTogether(const std::string& machine,
                                     const std::vector<std::vector<std::string>>& calls);

// One call on its own.
HostOutcome RunAlone(const std::string& machine, const std::vector<std::string>& call);

}  // namespace skyfw::testing
