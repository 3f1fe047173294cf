# The Windows build (mingw-w64, cmake/toolchains/mingw-w64-x86_64.cmake): the
# header-only libraries, the static run time and what does not exist there.
if(NOT SKYFW_MINGW_PREFIX OR NOT EXISTS "${SKYFW_MINGW_PREFIX}/lib/pkgconfig/libxml-2.0.pc")
  message(FATAL_ERROR "SKYFW_MINGW_PREFIX must name the prefix made by scripts/windows-deps.sh")
endif()

# Sanitizers do not link for mingw, libFuzzer needs clang and Google Benchmark
# has no mingw build here: all three stay with the Linux build.
if(SKYFW_SANITIZE OR SKYFW_BUILD_FUZZ)
  message(FATAL_ERROR "SKYFW_SANITIZE and SKYFW_BUILD_FUZZ are Linux-only")
endif()
set(SKYFW_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks" FORCE)

# The C++ run time, libgcc and winpthread linked in, so that the plug-in and
# the programs import only system DLLs.
add_link_options(-static)

# fmt, nlohmann-json and CLI11 are Debian's headers, through the prefix's folder
# of links: their CMake packages describe Linux builds, and /usr/include itself
# would bring glibc's headers in.
set(skyfw_header_only "${SKYFW_MINGW_PREFIX}/header-only")
add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${skyfw_header_only}"
                                          INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY=1)
add_library(fmt::fmt-header-only ALIAS fmt::fmt)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
                      INTERFACE_INCLUDE_DIRECTORIES "${skyfw_header_only}")
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${skyfw_header_only}")

# Programs run at build time and the tests run under this (the Wine loader).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(WARNING "No CMAKE_CROSSCOMPILING_EMULATOR: build-time programs and tests cannot run")
endif()
