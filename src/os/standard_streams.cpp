#include "os/standard_streams.h"

#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace skyfw::platform {

#if defined(_WIN32)

void UseBinaryStandardStreams() {
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

int DivertStandardOutputToError() {
  std::fflush(stdout);
  int saved = _dup(_fileno(stdout));
  if (saved >= 0 && _dup2(_fileno(stderr), _fileno(stdout)) != 0) {
    _close(saved);
    return -1;
  }
  return saved;
}

void RestoreStandardOutput(int token) {
  if (token < 0) return;
  std::fflush(stdout);
  _dup2(token, _fileno(stdout));
  _close(token);
}

#else

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

#endif

}  // namespace skyfw::platform
