// The process environment and command line as UTF-8 text. Windows keeps both
// in UTF-16; its narrow copies are in the ANSI code page, which would lose
// every name that code page cannot spell.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skyfw::platform {

// The variable's value; nothing when it is not set.
std::optional<std::string> GetEnvironmentText(const char* name);
// Sets the variable for this process and the processes it starts; an empty
// value removes it. False when the system refuses.
bool SetEnvironmentText(const char* name, const std::string& value);

// The variable naming the folder where a user's programs keep their local
// state, where the platform has one (LOCALAPPDATA on Windows); null
// elsewhere, where ~/.local/state serves.
const char* LocalStateFolderVariable();

// The program's arguments (argv[0] included) in UTF-8: on Linux argv as it
// is, on Windows the wide command line the process was started with.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace skyfw::platform
