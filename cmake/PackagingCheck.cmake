# Read by cpack before it packages. Without dpkg-shlibdeps CPack's DEB
# generator only prints a note and writes a package with no Depends line, which
# installs anywhere and then fails to start for want of Qt; without `file`
# (which it uses to find the executables) it stops without naming the Debian
# package to install. Stop here instead, and say what is missing.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
  cmake_policy(PUSH)
  cmake_policy(SET CMP0109 NEW)  # a program must be executable, as CPack requires
  find_program(TOOLS_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(TOOLS_FILE file)
  if(NOT TOOLS_DPKG_SHLIBDEPS OR NOT TOOLS_FILE)
    message(FATAL_ERROR
      "The Debian package needs dpkg-shlibdeps and file to compute its dependencies: "
      "install the Debian packages dpkg-dev and file (scripts/install-deps.sh does).")
  endif()
  cmake_policy(POP)
endif()
