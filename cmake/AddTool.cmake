# add_tool(<prefix> <executable> CORE <sources> UI <sources> CLI <sources>):
# one program from the current folder: the module library <prefix>_core
# (the jobs, no widgets, so that the window, the commands, the tests and the
# benchmark use the same code), the window library <prefix>_ui, the
# command-line library <prefix>_cli (no display needed), and the executable
# from main.cpp. Only the executable is installed, to bin/ in the component
# "tools".
include(GNUInstallDirs)

function(add_tool prefix executable)
  cmake_parse_arguments(PARSE_ARGV 2 TOOL "" "" "CORE;UI;CLI")
  add_library(${prefix}_core STATIC ${TOOL_CORE})
  target_link_libraries(${prefix}_core PUBLIC common_core)

  add_library(${prefix}_ui STATIC ${TOOL_UI})
  target_link_libraries(${prefix}_ui PUBLIC ${prefix}_core common_qt Qt6::Widgets)
  add_library(${prefix}_cli STATIC ${TOOL_CLI})
  target_link_libraries(${prefix}_cli PUBLIC ${prefix}_core common_cli)
  add_executable(${executable} main.cpp)
  target_link_libraries(${executable} PRIVATE ${prefix}_ui ${prefix}_cli)
  install(TARGETS ${executable} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  # A stripped install (the package's) also drops the compiler's version
  # notes, as Debian's own packages do.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${executable}\")
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                              \"\${program}\" RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR \"objcopy could not drop the notes of \${program}\")
      endif()
    endif()" COMPONENT tools)
endfunction()
