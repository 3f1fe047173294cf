# What `cmake --install` puts in place: the plug-in with its SONAME links, its
# C headers with the version macros, a CMake package and a pkg-config file,
# the skyfw program with its man page and bash completion, the demo firmware
# and the development signing key under share/skyfw, and the licence.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(skyfw_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/skyfw")
set(skyfw_data_dir "${CMAKE_INSTALL_DATADIR}/skyfw")

# <skyfw/version.h> in the build tree, beside the headers' install include path.
configure_file("${CMAKE_SOURCE_DIR}/include/skyfw/version.h.in"
               "${CMAKE_BINARY_DIR}/include/skyfw/version.h" @ONLY)
target_include_directories(skyfw INTERFACE
  "$<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include;${CMAKE_BINARY_DIR}/include>"
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")

# A shared library is not executable (lintian: shlib-with-executable-bit).
install(TARGETS skyfw EXPORT skyfwTargets
        LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES "${CMAKE_SOURCE_DIR}/include/skyfw/oem.h" "${CMAKE_BINARY_DIR}/include/skyfw/version.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/skyfw")
install(EXPORT skyfwTargets NAMESPACE skyfw:: DESTINATION "${skyfw_cmake_dir}")
configure_package_config_file("${CMAKE_SOURCE_DIR}/cmake/skyfwConfig.cmake.in"
                              "${CMAKE_BINARY_DIR}/cmake/skyfwConfig.cmake"
                              INSTALL_DESTINATION "${skyfw_cmake_dir}")
write_basic_package_version_file("${CMAKE_BINARY_DIR}/cmake/skyfwConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/cmake/skyfwConfig.cmake"
              "${CMAKE_BINARY_DIR}/cmake/skyfwConfigVersion.cmake"
        DESTINATION "${skyfw_cmake_dir}")

# pkg-config: the prefix relative to the .pc file, so the tree can move.
file(RELATIVE_PATH SKYFW_PC_PREFIX_FROM_PCDIR "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig"
     "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" SKYFW_PC_PREFIX_FROM_PCDIR "${SKYFW_PC_PREFIX_FROM_PCDIR}")
configure_file("${CMAKE_SOURCE_DIR}/cmake/skyfw.pc.in" "${CMAKE_BINARY_DIR}/skyfw.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/skyfw.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

install(TARGETS skyfw_tool RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(DIRECTORY "${CMAKE_BINARY_DIR}/bin/firmware" "${CMAKE_BINARY_DIR}/bin/firmware-catalogue"
        DESTINATION "${skyfw_data_dir}")
install(FILES "${CMAKE_SOURCE_DIR}/keys/dev_signing_private.pem"
              "${CMAKE_SOURCE_DIR}/keys/dev_signing_public.pem"
        DESTINATION "${skyfw_data_dir}")

# skyfw(1), made from the program's own --help texts, so it cannot drift.
set(skyfw_man_page "${CMAKE_BINARY_DIR}/man/skyfw.1.gz")
add_custom_command(
  OUTPUT "${skyfw_man_page}"
  COMMAND "${CMAKE_SOURCE_DIR}/tools/skyfw/man/make_man_page.sh" $<TARGET_FILE:skyfw_tool>
          "${PROJECT_VERSION}" "${skyfw_man_page}"
  DEPENDS skyfw_tool "${CMAKE_SOURCE_DIR}/tools/skyfw/man/make_man_page.sh"
  COMMENT "Making the man page skyfw(1) from skyfw --help"
  VERBATIM)
add_custom_target(skyfw_man_page ALL DEPENDS "${skyfw_man_page}")
install(FILES "${skyfw_man_page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

install(FILES "${CMAKE_SOURCE_DIR}/tools/skyfw/completion/skyfw.bash"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME skyfw)
install(FILES "${CMAKE_SOURCE_DIR}/LICENSE" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/skyfw")
