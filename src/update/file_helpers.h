// Path tests, directory listing and small text rules that decide which files
// are found and which values are read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result_codes.h"
#include "base/text.h"  // EqualsNoCase, for the callers comparing names
#include "os/file_names.h"

namespace skyfw {

// The one path separator these helpers know: the platform's.
using platform::kPathSeparator;

// True when the path's file status can be read and names a directory
// (a regular file); symbolic links are followed.
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// Lists a directory's entries (files and directories, one level, without "."
// and "..") as full paths, appended in byte-wise order of their names. A path
// that is not a directory replaces the list with itself alone. Returns 0, or
// 9 when the path's file status cannot be read (list unchanged).
HostResultCode ListFiles(const std::string& path, std::vector<std::string>& files);

// The text after the last separator; true when a directory part was removed.
// Empty path: output unchanged, false. No separator or a trailing one: the
// whole path, false.
bool BaseName(const std::string& path, std::string& out);

// The run of digits and dots that ends the text ("Version 1.2.3" -> "1.2.3");
// empty when the text does not end in one.
std::string VersionTail(std::string_view text);

}  // namespace skyfw
