# The Debian package of the three programs: `cpack -G DEB` in the build folder
# makes server-tools_<version>_<arch>.deb, which installs them to /usr/bin.
set(TOOLS_PACKAGE_MAINTAINER
  "Seed 562fbde2 maintainers <maintainers@users.noreply.c-seed-562fbde2.example>"
  CACHE STRING "Maintainer line of the Debian package")

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
empty them. Ruvane starts the server after a fixed delay.]])
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The default build carries debug information; the package does not need it.
set(CPACK_STRIP_FILES ON)

# Depends is computed by dpkg-shlibdeps from the libraries the programs are
# linked against: it names the Debian packages that provide them, with the
# lowest versions whose symbols the programs use, and stays right when a
# library is added or the Qt version changes, which a written list would not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Only the component the programs are installed in, so that an install rule
# from anything else in the build tree (a bundled library's, say) stays out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};tools;/")

# Read by cpack when it runs: refuses to make a package whose dependencies
# could not be computed.
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/PackagingCheck.cmake")

include(CPack)
