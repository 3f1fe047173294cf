#include "command_registry.h"

#include <algorithm>

namespace skyfw::tool {
namespace {

std::vector<std::pair<std::string, CommandAdder>>& Groups() {
  static std::vector<std::pair<std::string, CommandAdder>> groups;
  return groups;
}

}  // namespace

bool RegisterCommandGroup(const char* name, CommandAdder adder) {
  Groups().emplace_back(name, std::move(adder));
  // Registration order depends on link order; keep --help stable.
  std::sort(Groups().begin(), Groups().end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return true;
}

const std::vector<std::pair<std::string, CommandAdder>>& CommandGroups() { return Groups(); }

}  // namespace skyfw::tool
