// The trace log: the library's own diagnostic channel.
//
// Off until the host asks for it (oem_get_debug_info). While open, every line
// goes to the debugger output of the platform and, when a log file could be
// opened, to the end of that file, preceded by one blank:
//
//   TraceReport: "[QVFWUPG LIB :<word>] <pid>.<tid>: <message>\r\n", cut to 1024
//                characters (a cut line loses its CR LF)
//   TraceInfo:   "[QVFWUPG LIB :INFO ] <pid>.<tid>: <message>\r\n", never cut
//
// Messages are printf formats. Wide texts: convert them with Utf16ToWide and
// pass them to "%ls"; they are written as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>

namespace skyfw {

// Level bits of TraceReport. A level with several bits takes the word of its
// lowest listed bit; a level with none of them (8, say) writes an empty word.
enum class TraceLevel : uint32_t {
  INFORMATION = 1,
  WARNING = 2,
  DEBUG = 4,
  DIAG_ERROR = 16,
};

inline constexpr size_t kTraceMessageBufferBytes = 2 * 1024 * 1024;
inline constexpr size_t kTraceReportLineLimit = 1024;

// The word a level writes between "LIB :" and "]".
const char* TraceLevelWord(uint32_t level);

// The lock (and the UTF-8 locale for "%ls") live from load to unload of the
// library; without the lock (before load, after unload) nothing is written.
void TraceCreateLock();
void TraceDestroyLock();

// Opens the log for one entry point call: sets the level mask and, on the
// first attempt since the last file was closed, opens the file at path for
// appending (created when missing). Null or empty path: debugger only.
void TraceOpen(const char* path);
// Closes the file (if one is open) and sets the level mask to 0.
void TraceClose();
// Lets the next TraceOpen try to open a file again, for a path the host has
// just supplied; without it a failed or skipped open is never retried.
void TraceRearmOpen();

void TraceReport(TraceLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void TraceInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formatted output to standard output only: no prefix, no lock, no line end.
void ConsolePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// For tests: whether the log file is open, and the current level mask.
bool TraceFileIsOpen();
uint32_t TraceLevelMask();

}  // namespace skyfw
