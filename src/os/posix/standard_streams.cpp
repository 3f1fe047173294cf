#include "os/standard_streams.h"

#include <unistd.h>

#include <cstdio>

namespace skyfw::platform {

void UseBinaryStandardStreams() {}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

int DivertStandardOutputToError() {
  std::fflush(stdout);
  int saved = dup(STDOUT_FILENO);
  if (saved >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    close(saved);
    return -1;
  }
  return saved;
}

void RestoreStandardOutput(int token) {
  if (token < 0) return;
  std::fflush(stdout);
  dup2(token, STDOUT_FILENO);
  close(token);
}

}  // namespace skyfw::platform
