// The adapter management library's own log ("ngnmapi.log"), switched on by
// "mgmtapps.conf", and the open security of its named objects.
#pragma once

#include <cstdint>
#include <string>

#include "base/nmapi_result.h"
#include "platform/named_mutex.h"

namespace skyfw {

// Level bits of the level mask and of every NmapiLog call.
inline constexpr uint32_t kLogInformation = 1;
inline constexpr uint32_t kLogWarning = 2;
inline constexpr uint32_t kLogError = 4;
inline constexpr uint32_t kLogDiagError = 8;

// Size of the message and line buffers; longer messages are cut.
inline constexpr size_t kLogBufferSize = 528;

// "Mmm dd yyyy hh:mm:ss", fixed when the library is built.
extern const char kNmapiBuildStamp[];

// Writes one line (no terminator is added) to the log file, if any, and to
// the debugger output, when `level` shares a bit with the level mask.
void NmapiLog(uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The level mask the number after "ngnmapi" in the configuration selects.
uint32_t LevelMaskForSetting(uint32_t setting);

// The common application-data folder followed by the configuration file's
// and the log file's relative paths.
std::string ConfigurationFilePath(const std::string& commonAppData);
std::string LogFolderPath(const std::string& commonAppData);

// Reads the configuration and opens the log file: 0, or 29 when logging is
// on and the log file can neither be created nor found.
NmapiResult InitializeLogFile();
void UnInitializeLogFile();

// Which texts a failed security descriptor is reported with.
enum class OpenSecurityUse { kNamedObject, kDiagnosticLock };

// A descriptor with a present, null access list, so that every account may
// use the named object. False (after logging) when it could not be built;
// the object is then created with default security (`attributes` null).
bool MakeOpenSecurity(platform::SecurityDescriptor& descriptor,
                      platform::SecurityAttributes& attributes,
                      OpenSecurityUse use = OpenSecurityUse::kNamedObject);

}  // namespace skyfw
