# Cross build for 64-bit Windows with Debian's mingw-w64 GCC.
# The posix flavour is named explicitly: the win32 flavour has no std::thread
# or std::recursive_mutex, and the unsuffixed names are alternatives links.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SKYFW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SKYFW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKYFW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SKYFW_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${SKYFW_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${SKYFW_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# The dependency prefix made by scripts/windows-deps.sh (SKYFW_MINGW_PREFIX,
# from the cache or the environment) holds the static libraries for Windows.
if(NOT SKYFW_MINGW_PREFIX AND DEFINED ENV{SKYFW_MINGW_PREFIX})
  set(SKYFW_MINGW_PREFIX "$ENV{SKYFW_MINGW_PREFIX}")
endif()
set(SKYFW_MINGW_PREFIX "${SKYFW_MINGW_PREFIX}" CACHE PATH "Prefix of the dependencies built for Windows")
# try_compile projects get a fresh cache: hand the prefix over.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SKYFW_MINGW_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${SKYFW_MINGW_TRIPLE})
if(SKYFW_MINGW_PREFIX)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${SKYFW_MINGW_PREFIX}")
  # Only the cross prefix: the build machine's .pc files describe Linux libraries.
  set(ENV{PKG_CONFIG_LIBDIR} "${SKYFW_MINGW_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Build-time programs and the tests run under Wine's 64-bit loader (Debian
# puts no wine64 on PATH), through scripts/wine-run.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/lib/wine/wine64)
  get_filename_component(skyfw_wine_run "${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run" ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${skyfw_wine_run}")
endif()
