# Installing and the Debian package: the dialog program, the site window, the command-line tool
# and the camera simulator, with the desktop entry, the icon in the hicolor sizes, man pages, the bash
# completion of tiltwise-cli and the copyright file. `cpack` in the build directory writes
# tiltwise_<version>_<arch>.deb.
if(WIN32)
  return()
endif()
include(GNUInstallDirs)

# The command-line tool's folder installs nothing of its own; the package needs it.
if(TARGET tiltwise-cli)
  install(TARGETS tiltwise-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET tiltwise)
  install(FILES ${PROJECT_SOURCE_DIR}/res/tiltwise.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 32 48 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/tiltwise-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tiltwise.png)
  endforeach()
endif()
if(TARGET tiltwise-site)
  install(FILES ${PROJECT_SOURCE_DIR}/res/tiltwise-site.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# Debian wants man pages and the changelog compressed, without a time stamp (-n).
set(doc_dir ${CMAKE_BINARY_DIR}/doc)
configure_file(${PROJECT_SOURCE_DIR}/res/changelog.in ${doc_dir}/changelog @ONLY)
function(tiltwise_gzip file)
  add_custom_command(OUTPUT ${file}.gz COMMAND gzip -9nkf ${file} DEPENDS ${file} VERBATIM)
endfunction()
tiltwise_gzip(${doc_dir}/changelog)
configure_file(${PROJECT_SOURCE_DIR}/res/tiltwise.1 ${doc_dir}/tiltwise.1 COPYONLY)
tiltwise_gzip(${doc_dir}/tiltwise.1)
set(docs ${doc_dir}/changelog.gz)
if(TARGET tiltwise)
  list(APPEND docs ${doc_dir}/tiltwise.1.gz)
  install(FILES ${doc_dir}/tiltwise.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET tiltwise-site)
  configure_file(${PROJECT_SOURCE_DIR}/res/tiltwise-site.1 ${doc_dir}/tiltwise-site.1 COPYONLY)
  tiltwise_gzip(${doc_dir}/tiltwise-site.1)
  list(APPEND docs ${doc_dir}/tiltwise-site.1.gz)
  install(FILES ${doc_dir}/tiltwise-site.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/res/copyright ${doc_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tiltwise)

# Man pages and the completion are made from the programs' own --help, so they say what the
# build does.
option(TILTWISE_MAN "Make man pages from the programs' --help (needs help2man)" ON)
if(TILTWISE_MAN AND (TARGET tiltwise-cli OR TARGET tiltwise-camsim))
  find_program(HELP2MAN help2man)
  if(NOT HELP2MAN)
    message(FATAL_ERROR "help2man is missing (Debian: help2man); or configure with -DTILTWISE_MAN=OFF")
  endif()
  # One page per command besides the program's own, from `tiltwise-cli COMMAND --help` through
  # a small script named like the page.
  set(pages tiltwise-cli tiltwise-camsim)
  set(tiltwise-cli_name "read and set network cameras' Flip and Mirror, one or a whole fleet")
  set(tiltwise-camsim_name "stand in for network cameras' web servers, for tests and trials")
  set(tiltwise-cli-query_name "read the Flip and Mirror of cameras")
  set(tiltwise-cli-set_name "set the Flip and Mirror of cameras")
  set(tiltwise-cli-restore_name "put back what an earlier tiltwise-cli set changed")
  set(tiltwise-cli-scan_name "find the cameras in address ranges and write a site's list")
  foreach(command query set restore scan)
    set(runner ${doc_dir}/bin/tiltwise-cli-${command})
    file(GENERATE OUTPUT ${runner} CONTENT
         "#!/bin/sh\nexec '$<TARGET_FILE:tiltwise-cli>' ${command} \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    list(APPEND pages tiltwise-cli-${command})
  endforeach()
  foreach(program IN LISTS pages)
    if(program STREQUAL tiltwise-camsim OR program STREQUAL tiltwise-cli)
      set(runner $<TARGET_FILE:${program}>)
      set(depends_on ${program})
    else()
      set(runner ${doc_dir}/bin/${program})
      set(depends_on tiltwise-cli)
    endif()
    set(page ${doc_dir}/${program}.1)
    add_custom_command(OUTPUT ${page}
      COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
              --name=${${program}_name} --output=${page} ${runner}
      COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/man-verbatim.py ${page}
      DEPENDS ${depends_on} ${PROJECT_SOURCE_DIR}/scripts/man-verbatim.py
      COMMENT "Man page of ${program} from its --help"
      VERBATIM)
    tiltwise_gzip(${page})
    list(APPEND docs ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  set(completion ${doc_dir}/tiltwise-cli.bash)
  add_custom_command(OUTPUT ${completion}
    COMMAND python3 ${PROJECT_SOURCE_DIR}/scripts/make-completion.py $<TARGET_FILE:tiltwise-cli>
            ${completion}
    DEPENDS tiltwise-cli ${PROJECT_SOURCE_DIR}/scripts/make-completion.py
    COMMENT "Bash completion of tiltwise-cli from its --help"
    VERBATIM)
  list(APPEND docs ${completion})
  install(FILES ${completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME tiltwise-cli)
endif()
add_custom_target(tiltwise_docs ALL DEPENDS ${docs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tiltwise)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tiltwise developers")
set(CPACK_PACKAGE_CONTACT "Tiltwise developers <dev@tiltwise.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "reads and changes whether a network camera's picture is flipped and mirrored")
set(CPACK_PACKAGE_DESCRIPTION
  "Tiltwise talks to a network camera's built-in web server (HTTP with Basic
authentication) to read and set whether its picture is flipped and mirrored.
It contains the dialog program tiltwise, the site window tiltwise-site for
a whole site's cameras, the command-line tool tiltwise-cli for scripts and
many cameras at once, and the camera simulator tiltwise-camsim for trying
them without a camera.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tiltwise developers <dev@tiltwise.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
# Depends from the libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
