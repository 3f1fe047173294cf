# A Debian package of the installed tree: cpack -G DEB (in the build folder)
# gives skyfw_<version>_amd64.deb, with its shared-library dependencies found
# by dpkg-shlibdeps and the files Debian policy asks of every package.
set(CPACK_PACKAGE_NAME skyfw)
set(CPACK_PACKAGE_VENDOR Norvane)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "firmware updates for Norvane Skyline network adapters")
set(CPACK_PACKAGE_DESCRIPTION
    "The firmware-update plug-in libskyfw.so that a server vendor's update host\n"
    "loads, and the skyfw program: discovery of the adapters and of the packages\n"
    "that apply, installation one adapter at a time with the versions read back,\n"
    "NVRAM backups, and tools to make, inspect and verify firmware packages.\n"
    "On Linux the adapters are those of a simulated machine.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Norvane Firmware Team <firmware@norvane.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://norvane.example/skyfw")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian wants the copyright and a compressed changelog in the package's doc
# folder; a plain install carries them too (they are small and true).
set(skyfw_deb_doc "${CMAKE_BINARY_DIR}/packaging/doc")
configure_file("${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in"
               "${skyfw_deb_doc}/changelog.Debian" @ONLY)
execute_process(COMMAND gzip -9nf "${skyfw_deb_doc}/changelog.Debian")
install(FILES "${CMAKE_SOURCE_DIR}/packaging/debian/copyright" "${skyfw_deb_doc}/changelog.Debian.gz"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/skyfw")

set(CPACK_GENERATOR DEB)
include(CPack)
