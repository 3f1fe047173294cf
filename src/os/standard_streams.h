// The process's standard output as the operating system has it.
#pragma once

namespace skyfw::platform {

// Standard output and error write bytes as they are: Windows' C runtime
// would otherwise turn every line feed into CR LF, and texts that end in CR
// LF already would come out changed.
void UseBinaryStandardStreams();

// True when standard output is a terminal (a console on Windows).
bool StandardOutputIsTerminal();

// Sends what is written to standard output to standard error until
// RestoreStandardOutput(token); the token is negative when nothing changed.
int DivertStandardOutputToError();
void RestoreStandardOutput(int token);

}  // namespace skyfw::platform
