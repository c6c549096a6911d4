# The Debian package of the three programs: `cpack -G DEB` in the build folder
# makes server-tools_<version>_<arch>.deb, which installs them to /usr/bin,
# with what packaging/ writes beside them (manual pages, completions, desktop
# entries, icons, copyright and changelog).
# The maintainer is the one of the changelog's latest entry (packaging/changelog).
set(TOOLS_PACKAGE_MAINTAINER "${TOOLS_CHANGELOG_MAINTAINER}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME server-tools)
set(CPACK_PACKAGE_CONTACT "${TOOLS_PACKAGE_MAINTAINER}")
# Debian wants the first line of a description under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Game server administration tools: data converter, account inspector, restarter")
set(CPACK_PACKAGE_DESCRIPTION [[
Administration tools for the operator of an online role-playing game server.
Vostrel converts the server's legacy world data into one file per record.
Calmet lists the accounts, shows their characters' inventories and can
empty them. Ruvane starts the server after a fixed delay, or prints a
systemd unit that runs it as a service.]])
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The default build carries debug information; the package does not need it
# (cmake/AddTool.cmake also drops the compiler's notes).
set(CPACK_STRIP_FILES ON)

# Depends is computed by dpkg-shlibdeps from the libraries the programs are
# linked against: it names the Debian packages that provide them, with the
# lowest versions whose symbols the programs use, and stays right when a
# library is added or the Qt version changes, which a written list would not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# The windows also need the toolkit's X11 platform plugin, which the programs
# load at run time, so dpkg-shlibdeps cannot see it: the package that holds
# it is named here (in Debian 12 the GUI library's own package; elsewhere its
# recommended plugin package, which an install without recommendations
# leaves out).
set(TOOLS_XCB_PLUGIN "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms/libqxcb.so")
find_program(TOOLS_DPKG_QUERY dpkg-query)
if(TOOLS_DPKG_QUERY AND EXISTS "${TOOLS_XCB_PLUGIN}")
  execute_process(COMMAND ${TOOLS_DPKG_QUERY} -S "${TOOLS_XCB_PLUGIN}"
                  OUTPUT_VARIABLE owner RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(rc EQUAL 0 AND owner MATCHES "^([a-z0-9][a-z0-9+.-]*)(:[a-z0-9]+)?: ")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
  endif()
endif()
if(NOT CPACK_DEBIAN_PACKAGE_DEPENDS)
  message(STATUS "The package holding ${TOOLS_XCB_PLUGIN} is unknown: the Debian package "
                 "will not name it")
endif()

# Only the component the programs are installed in, so that an install rule
# from anything else in the build tree (a bundled library's, say) stays out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};tools;/")

# Read by cpack when it runs: refuses to make a package whose dependencies
# could not be computed.
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/PackagingCheck.cmake")

include(CPack)
