# The Debian package: the dialog program, the command-line tool and the camera simulator, with
# the desktop entry and icon. `cpack` in the build directory writes tiltwise_<version>_<arch>.deb.
if(WIN32)
  return()
endif()
include(GNUInstallDirs)

# The command-line tool's folder installs nothing of its own; the package needs it.
if(TARGET tiltwise-cli)
  install(TARGETS tiltwise-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tiltwise)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tiltwise developers")
set(CPACK_PACKAGE_CONTACT "Tiltwise developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "reads and changes whether a network camera's picture is flipped and mirrored")
set(CPACK_PACKAGE_DESCRIPTION
  "Tiltwise talks to a network camera's built-in web server (HTTP with Basic authentication)
to read and set whether its picture is flipped and mirrored. It contains the dialog program
tiltwise, the command-line tool tiltwise-cli for scripts and many cameras at once, and the
camera simulator tiltwise-camsim for trying both without a camera.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tiltwise developers")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
# Depends from the libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
