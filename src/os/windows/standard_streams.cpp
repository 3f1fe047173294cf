#include "os/standard_streams.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace skyfw::platform {

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

}  // namespace skyfw::platform
