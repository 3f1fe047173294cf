#include "diag/trace_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "diag/critical_section.h"
#include "base/never_destroyed.h"
#include "os/file_names.h"
#include "platform/platform.h"
#include "os/utf8_formatting.h"

namespace skyfw {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

constexpr size_t kLinePrefixLimit = 1024;

// The line starts after one blank: the file gets the blank and the line in
// one write, the debugger gets the line alone.
constexpr size_t kLineBufferBytes = 1 + kLinePrefixLimit + kTraceMessageBufferBytes + 2;

// Holders that are never destroyed and exist from their first use: the load
// function may run before this file's statics are initialized, and at process
// exit the image's static destructors may run before its unload function,
// which still releases the lock and the file through these.
std::unique_ptr<NMCCriticalSection>& TraceLockHolder() {
  return NeverDestroyed<std::unique_ptr<NMCCriticalSection>>();
}
std::unique_ptr<std::FILE, FileCloser>& TraceFileHolder() {
  return NeverDestroyed<std::unique_ptr<std::FILE, FileCloser>>();
}
bool open_attempted = false;
std::atomic<uint32_t> level_mask{0};

// Shared by every line; used only while the lock is held.
char message_buffer[kTraceMessageBufferBytes];
char line_buffer[kLineBufferBytes];

// Formats into the shared message buffer, cut to the buffer. A format the
// run-time library refuses leaves the format text itself, so the line still
// says what was being reported.
std::string_view FormatMessage(const char* format, va_list arguments)
    __attribute__((format(printf, 1, 0)));
std::string_view FormatMessage(const char* format, va_list arguments) {
  int length = platform::FormatUtf8(message_buffer, sizeof(message_buffer), format, arguments);
  if (length < 0) {
    size_t copied = std::strlen(format);
    if (copied >= sizeof(message_buffer)) copied = sizeof(message_buffer) - 1;
    std::memcpy(message_buffer, format, copied);
    message_buffer[copied] = '\0';
    return {message_buffer, copied};
  }
  size_t used = static_cast<size_t>(length);
  return {message_buffer, used < sizeof(message_buffer) ? used : sizeof(message_buffer) - 1};
}

// Formats the line prefix or a whole report line at line_buffer[1], cut to
// kLinePrefixLimit characters; returns its length.
size_t FormatCutLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
size_t FormatCutLine(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(line_buffer + 1, kLinePrefixLimit + 1, format, arguments);
  va_end(arguments);
  if (length < 0) return 0;
  return static_cast<size_t>(length) < kLinePrefixLimit ? static_cast<size_t>(length)
                                                        : kLinePrefixLimit;
}

unsigned long ProcessId() { return platform::Current().system().GetCurrentProcessId(); }
unsigned long ThreadId() { return platform::Current().system().GetCurrentThreadId(); }

// Sends line_buffer[1 .. 1 + length) to the debugger and, when asked, the
// blank and the line to the end of the file.
void EmitLine(size_t length, bool to_file) {
  line_buffer[0] = ' ';
  platform::Current().system().OutputDebugString(std::string_view(line_buffer + 1, length));
  if (to_file && TraceFileHolder()) {
    // Append mode puts every write at the current end of the file, also when
    // another process wrote in between; failures are not the caller's concern.
    (void)std::fwrite(line_buffer, 1, length + 1, TraceFileHolder().get());
  }
}

}  // namespace

const char* TraceLevelWord(uint32_t level) {
  if (level & static_cast<uint32_t>(TraceLevel::INFORMATION)) return "INFORMATION";
  if (level & static_cast<uint32_t>(TraceLevel::WARNING)) return "WARNING";
  if (level & static_cast<uint32_t>(TraceLevel::DEBUG)) return "DEBUG";
  if (level & static_cast<uint32_t>(TraceLevel::DIAG_ERROR)) return "DIAG_ERROR";
  return "";
}

void TraceCreateLock() {
  if (!TraceLockHolder()) TraceLockHolder() = std::make_unique<NMCCriticalSection>();
  platform::CreateUtf8Formatting();
}

void TraceDestroyLock() {
  TraceFileHolder().reset();
  open_attempted = false;
  level_mask = 0;
  TraceLockHolder().reset();
  platform::DestroyUtf8Formatting();
}

void TraceOpen(const char* path) {
  level_mask = 255;
  if (open_attempted) return;
  open_attempted = true;
  if (path == nullptr || path[0] == '\0') return;
  // "e": the descriptor must not leak into programs the host starts.
  std::FILE* file = platform::OpenFile(path, "abe");
  if (file == nullptr) return;
  // Each line goes out in one write, at once: nothing is lost if the host dies.
  std::setvbuf(file, nullptr, _IONBF, 0);
  TraceFileHolder().reset(file);
}

void TraceClose() {
  if (TraceFileHolder()) {
    TraceFileHolder().reset();
    open_attempted = false;
  }
  level_mask = 0;
}

void TraceRearmOpen() { open_attempted = false; }

void TraceReport(TraceLevel level, const char* format, ...) {
  uint32_t level_bits = static_cast<uint32_t>(level);
  uint32_t mask = level_mask;
  if ((level_bits & mask) == 0 || format == nullptr || format[0] == '\0') return;
  if (!TraceLockHolder()) return;
  const char* word = TraceLevelWord(level_bits);
  SyncObjectGuard guard(*TraceLockHolder());

  va_list arguments;
  va_start(arguments, format);
  std::string_view message = FormatMessage(format, arguments);
  va_end(arguments);

  size_t length = FormatCutLine("[QVFWUPG LIB :%s] %lu.%lu%s: %.*s\r\n", word, ProcessId(),
                                ThreadId(), "", static_cast<int>(message.size()), message.data());
  bool to_file = (mask & 8) != 0 || ((mask & 32) != 0 && (level_bits & 16) != 0);
  EmitLine(length, to_file);
}

void TraceInfo(const char* format, ...) {
  if (format == nullptr || format[0] == '\0' || level_mask == 0) return;
  if (!TraceLockHolder()) return;
  SyncObjectGuard guard(*TraceLockHolder());

  va_list arguments;
  va_start(arguments, format);
  std::string_view message = FormatMessage(format, arguments);
  va_end(arguments);

  size_t length = FormatCutLine("[QVFWUPG LIB :INFO ] %lu.%lu%s: ", ProcessId(), ThreadId(), "");
  // The message is never cut: the buffer has room for the longest one.
  std::memcpy(line_buffer + 1 + length, message.data(), message.size());
  length += message.size();
  std::memcpy(line_buffer + 1 + length, "\r\n", 2);
  length += 2;
  EmitLine(length, true);
}

void ConsolePrint(const char* format, ...) {
  if (format == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  int length = platform::FormatUtf8(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length > 0) {
    std::string text(static_cast<size_t>(length) + 1, '\0');
    length = platform::FormatUtf8(text.data(), text.size(), format, arguments);
    if (length > 0) std::fwrite(text.data(), 1, static_cast<size_t>(length), stdout);
  }
  va_end(arguments);
}

bool TraceFileIsOpen() { return static_cast<bool>(TraceFileHolder()); }
uint32_t TraceLevelMask() { return level_mask; }

}  // namespace skyfw
