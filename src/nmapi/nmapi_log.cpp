#include "nmapi/nmapi_log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "nmapi/library_state.h"
#include "os/file_names.h"
#include "os/file_reader.h"
#include "platform/platform.h"

namespace skyfw {

const char kNmapiBuildStamp[] = __DATE__ " " __TIME__;
static_assert(sizeof(kNmapiBuildStamp) == 21, "the build stamp fills 20 characters");

namespace {

constexpr char kSeparator = platform::kPathSeparator;
// The configuration is read in chunks of this many bytes (255 characters).
constexpr int kConfigurationChunk = 256;

const char* LevelWord(uint32_t level) {
  if (level & kLogInformation) return "INFORMATION";
  if (level & kLogWarning) return "WARNING    ";
  if (level & kLogError) return "ERROR      ";
  if (level & kLogDiagError) return "DIAG_ERROR ";
  return "";
}

std::string JoinPath(std::string path, std::initializer_list<const char*> parts) {
  for (const char* part : parts) {
    path += kSeparator;
    path += part;
  }
  return path;
}

uint32_t ReadLevelMask(const std::string& configurationPath) {
  int error = 0;
  platform::FileStream file = platform::OpenRegularFile(configurationPath, error);
  if (!file) return 0;
  uint32_t mask = 0;
  char chunk[kConfigurationChunk];
  while (std::fgets(chunk, sizeof chunk, file.get()) != nullptr) {
    if (std::strstr(chunk, "ngnmapi") == nullptr) continue;
    char word[kConfigurationChunk];
    unsigned int setting = 0;
    if (std::sscanf(chunk, "%255s %x", word, &setting) == 2) mask = LevelMaskForSetting(setting);
    break;  // only the first matching line counts
  }
  return mask;
}

}  // namespace

uint32_t LevelMaskForSetting(uint32_t setting) {
  switch (setting) {
    case 1:
      return 0xF;
    case 2:
      return 0xE;
    case 4:
      return 0xC;
    case 8:
      return 0x8;
    default:
      return 0;
  }
}

std::string ConfigurationFilePath(const std::string& commonAppData) {
  return JoinPath(commonAppData, {"Norvane", "Mgmt Apps", "config", "mgmtapps.conf"});
}

std::string LogFolderPath(const std::string& commonAppData) {
  return JoinPath(commonAppData, {"Norvane", "Mgmt Apps", "log"});
}

void NmapiLog(uint32_t level, const char* format, ...) {
  NmapiState& state = State();
  if ((level & state.levelMask) == 0 || format == nullptr || format[0] == '\0') return;

  platform::System& system = platform::Current().system();
  uint32_t tick = system.GetTickCount();
  uint32_t processId = system.GetCurrentProcessId();
  uint32_t threadId = system.GetCurrentThreadId();

  // Both buffers cut what does not fit; nothing is written past them.
  char message[kLogBufferSize];
  va_list arguments;
  va_start(arguments, format);
  if (std::vsnprintf(message, sizeof message, format, arguments) < 0) message[0] = '\0';
  va_end(arguments);
  char line[kLogBufferSize];
  int length = std::snprintf(line, sizeof line, "%s NMAPI %s %lu %lu.%lu: %s", kNmapiBuildStamp,
                             LevelWord(level), static_cast<unsigned long>(tick),
                             static_cast<unsigned long>(processId),
                             static_cast<unsigned long>(threadId), message);
  if (length < 0) return;

  // The wait is bounded so that a stuck writer elsewhere delays a line but
  // never loses it.
  if (state.logMutex) state.logMutex->Wait(100);
  if (state.logFile) {
    std::FILE* file = state.logFile.get();
    if (std::fseek(file, 0, SEEK_END) == 0) {
      std::fwrite(line, 1, std::strlen(line), file);
      std::fflush(file);
    }
  }
  system.OutputDebugString(line);
  if (state.logMutex) state.logMutex->Release();
}

NmapiResult InitializeLogFile() {
  NmapiState& state = State();
  state.logFile.reset();
  state.levelMask = 0;

  std::string commonAppData;
  if (platform::Current().system().GetCommonAppDataFolder(commonAppData) != 0) return ngNMAPI_OK;
  state.levelMask = ReadLevelMask(ConfigurationFilePath(commonAppData));
  if (state.levelMask == 0) return ngNMAPI_OK;

  std::string folder = LogFolderPath(commonAppData);
  std::error_code ignored;
  std::filesystem::path folder_path;
  if (platform::ToFileSystemPath(folder, folder_path)) {
    std::filesystem::create_directories(folder_path, ignored);
  }
  std::string path = JoinPath(folder, {"ngnmapi.log"});

  // Create it only if it is new; an existing log is appended to. Either way
  // the stream is used in append mode: a line written after the log mutex's
  // wait ran out must land behind another process's line, never on it, and
  // only the append mode writes at the end whatever the position.
  // Binary: the lines carry their own CR LF, which a Windows text stream would
  // turn into CR CR LF.
  errno = 0;
  std::FILE* file = platform::OpenFile(path, "w+xb");
  if (file == nullptr && errno != EEXIST) return ngNMAPI_LOG_FILE_FAILED;
  if (file != nullptr) std::fclose(file);
  file = platform::OpenFile(path, "a+b");
  state.logFile.reset(file);
  return ngNMAPI_OK;
}

void UnInitializeLogFile() {
  NmapiLog(kLogInformation, "UnInitializeLogFile() close logging system\r\n");
  NmapiState& state = State();
  state.logFile.reset();
  state.levelMask = 0;
}

bool MakeOpenSecurity(platform::SecurityDescriptor& descriptor,
                      platform::SecurityAttributes& attributes, OpenSecurityUse use) {
  platform::System& system = platform::Current().system();
  attributes = platform::SecurityAttributes{};
  bool diagnosticLock = use == OpenSecurityUse::kDiagnosticLock;
  if (!system.InitializeSecurityDescriptor(descriptor)) {
    unsigned long error = system.GetLastError();
    if (diagnosticLock) {
      NmapiLog(kLogError, "InitDiag() InitializeSecurityDescriptor() failed %lu\r\n", error);
    } else {
      NmapiLog(kLogError, "InitializeSecurityDescriptor() failed %lu\r\n", error);
    }
    return false;
  }
  if (!system.SetSecurityDescriptorDacl(descriptor, true, true, false)) {
    unsigned long error = system.GetLastError();
    if (diagnosticLock) {
      NmapiLog(kLogError, "InitDiag() GetSecurityDescriptorControl() failed %lu\r\n", error);
    } else {
      NmapiLog(kLogError, "GetSecurityDescriptorControl() failed %lu\r\n", error);
    }
    return false;
  }
  attributes.descriptor = &descriptor;
  attributes.inherit_handle = false;
  return true;
}

}  // namespace skyfw
