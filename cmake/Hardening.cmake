# The distribution's hardening flags, as dpkg-buildflags gives them with every
# hardening feature on: fortified C library calls, the stack protector,
# read-only relocations bound at start (relro, bindnow), and position-
# independent executables. Optimisation and debug information stay the
# build type's; fortification needs optimisation and is left out of Debug
# builds, and all of it out of sanitizer builds, which check more.
option(TOOLS_HARDENING "Build with the distribution's hardening flags" ON)
if(NOT TOOLS_HARDENING OR TOOLS_SANITIZE)
  return()
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

find_program(TOOLS_DPKG_BUILDFLAGS dpkg-buildflags)
if(TOOLS_DPKG_BUILDFLAGS)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${TOOLS_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags_${kind} UNIX_COMMAND "${flags}")
  endforeach()
else()
  # Debian's flags, for a machine without dpkg-dev.
  set(flags_CPPFLAGS -D_FORTIFY_SOURCE=2)
  set(flags_CXXFLAGS -fstack-protector-strong -Wformat -Werror=format-security)
  set(flags_LDFLAGS -Wl,-z,relro -Wl,-z,now)
endif()

foreach(flag IN LISTS flags_CPPFLAGS flags_CXXFLAGS)
  if(flag MATCHES "^-O|^-g|^-ffile-prefix-map=")
    # The build type's, and a prefix map made for the folder dpkg-buildflags ran in.
  elseif(flag MATCHES "^-D_FORTIFY_SOURCE=")
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
  else()
    add_compile_options(${flag})
  endif()
endforeach()
add_link_options(${flags_LDFLAGS})
