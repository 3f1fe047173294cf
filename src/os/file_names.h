// File names as the operating system takes them.
//
// Inside the system a path is UTF-8 text. Windows' narrow file functions
// would read those bytes in the ANSI code page, so on Windows every file is
// opened through its wide-character name instead; on Linux the bytes are the
// name.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace skyfw::platform {

// The platform's path separator, the one the system joins paths with ('\\'
// on Windows, '/' elsewhere).
inline constexpr char kPathSeparator =
    static_cast<char>(std::filesystem::path::preferred_separator);

// The file-system path of a UTF-8 name. False (out unchanged) when the text
// is not well-formed UTF-8 and the platform names files in UTF-16: such a
// name cannot exist there. Never throws.
bool ToFileSystemPath(std::string_view utf8, std::filesystem::path& out);

// The same as a value: empty, which opens no file, when the text cannot name
// one (it must not become the name of another file). Names to append to it
// are appended to the text first (the command line's arguments reach the
// program as UTF-8 made from wide ones, so they always convert).
std::filesystem::path PathFromUtf8(std::string_view utf8);

// The UTF-8 text of a file-system path (a name Windows holds with an
// unpaired surrogate gets U+FFFD in its place). Never throws.
std::string FromFileSystemPath(const std::filesystem::path& path);

// std::fopen for a UTF-8 name. The mode takes fopen's letters plus two
// that glibc knows and Windows' C runtime does not: "x" (create, fail when
// the file exists) and "e" (not inherited by child processes). Null with
// errno set on failure.
std::FILE* OpenFile(const std::string& utf8_path, const char* mode);

}  // namespace skyfw::platform
