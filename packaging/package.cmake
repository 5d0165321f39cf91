# Installing Tolm and packing it as a Debian package: the program, its manual page and the
# changelog (gzipped as Debian does it), the licence and the README. Included from the top-level
# CMakeLists.txt after the tolm target; `cmake --install` installs, `cpack -G DEB` in the build
# folder packs, both under CMAKE_INSTALL_PREFIX (give /usr for a package).

include(GNUInstallDirs)

set(TOLM_MAINTAINER "The Tolm authors <tolm@invalid>" CACHE STRING
    "Name and mail address of whoever distributes the package, as in 'Name <address>'")

# The page names the documentation folder it is installed beside: its `.ds docdir` line is set
# to the one under the prefix. The copy in doc/ names that of the default prefix.
set(TOLM_MAN_PAGE_SOURCE ${PROJECT_SOURCE_DIR}/doc/tolm.1)
set(TOLM_MAN_PAGE ${PROJECT_BINARY_DIR}/tolm.1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TOLM_MAN_PAGE_SOURCE})
file(READ ${TOLM_MAN_PAGE_SOURCE} page)
string(REGEX REPLACE "\n\\.ds docdir [^\n]*" "\n.ds docdir ${CMAKE_INSTALL_FULL_DOCDIR}" page "${page}")
file(CONFIGURE OUTPUT ${TOLM_MAN_PAGE} CONTENT "${page}" @ONLY)

# Debian's changelog, which names the maintainer.
set(TOLM_CHANGELOG ${PROJECT_BINARY_DIR}/changelog)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${TOLM_CHANGELOG} @ONLY)

install(TARGETS tolm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The page and the changelog are gzipped at build time when gzip is there (-n: no name or time
# stamp, so the same text always gives the same bytes), and installed plain otherwise.
find_program(TOLM_GZIP gzip)
foreach(doc IN ITEMS TOLM_MAN_PAGE TOLM_CHANGELOG)
  if(TOLM_GZIP)
    get_filename_component(name ${${doc}} NAME)
    add_custom_command(
      OUTPUT ${${doc}}.gz
      COMMAND ${TOLM_GZIP} -9 -n -c ${${doc}} > ${${doc}}.gz
      DEPENDS ${${doc}}
      COMMENT "Compressing ${name}")
    set(${doc} ${${doc}}.gz)
  endif()
endforeach()
# Building the program builds its documents too, so that `--target tolm` is enough to install.
add_custom_target(tolm_docs ALL DEPENDS ${TOLM_MAN_PAGE} ${TOLM_CHANGELOG})
add_dependencies(tolm tolm_docs)
install(FILES ${TOLM_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TOLM_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The licence, once, under the name Debian looks for.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tolm authors")
set(CPACK_PACKAGE_CONTACT ${TOLM_MAINTAINER})
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
# The package holds what `cmake --install` puts under the configured prefix.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TOLM_MAINTAINER})
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
