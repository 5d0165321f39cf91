# Installing Tolm and packing it as a Debian package: the program, its manual page (gzipped as
# Debian does it), the licence and the README. Included from the top-level CMakeLists.txt after
# the tolm target; `cmake --install` installs, `cpack -G DEB` in the build folder packs.

include(GNUInstallDirs)

set(TOLM_MAN_PAGE ${PROJECT_SOURCE_DIR}/doc/tolm.1)

install(TARGETS tolm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The page is gzipped at build time when gzip is there (-n: no name or time stamp, so the same
# page always gives the same bytes), and installed plain otherwise.
find_program(TOLM_GZIP gzip)
if(TOLM_GZIP)
  set(TOLM_MAN_PAGE_GZ ${PROJECT_BINARY_DIR}/tolm.1.gz)
  add_custom_command(
    OUTPUT ${TOLM_MAN_PAGE_GZ}
    COMMAND ${TOLM_GZIP} -9 -n -c ${TOLM_MAN_PAGE} > ${TOLM_MAN_PAGE_GZ}
    DEPENDS ${TOLM_MAN_PAGE}
    COMMENT "Compressing the manual page")
  add_custom_target(tolm_man_page ALL DEPENDS ${TOLM_MAN_PAGE_GZ})
  # Building the program builds its page too, so that `--target tolm` is enough to install.
  add_dependencies(tolm tolm_man_page)
  install(FILES ${TOLM_MAN_PAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${TOLM_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Debian looks for the licence of a package under this name.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tolm authors")
set(CPACK_PACKAGE_CONTACT "The Tolm authors <tolm@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "full-screen hexadecimal editor for text terminals")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolm shows one file of any size sixteen bytes to a line, as hexadecimal and as\n"
    "characters, and overwrites bytes in place by typing hexadecimal digits or\n"
    "characters. It jumps to an offset, searches forward for a byte pattern given in\n"
    "hexadecimal or as text, saves only the changed bytes and undoes all unsaved\n"
    "changes. It never inserts or deletes bytes and never loads the file whole.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Tolm authors <tolm@invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the program links to decide the dependencies where dpkg-shlibdeps (from
# dpkg-dev) can compute them; elsewhere they are the ncurses run-time libraries, named by hand.
find_program(TOLM_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TOLM_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libncursesw6, libtinfo6")
endif()

# `make package_source` packs the sources without build trees or the repository.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

include(CPack)
