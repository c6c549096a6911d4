# add_tool(<prefix> <executable>): one program from the current folder.
# *_window.cpp form the window library <prefix>_ui, *_command.cpp the
# command-line library <prefix>_cli (no display needed), main.cpp the
# executable, every other .cpp the module library <prefix>_core, which has
# no widgets so that the window, the commands, tests and the benchmark use
# the same code. Only the executable is installed, to bin/ in the component
# "tools".
include(GNUInstallDirs)

function(add_tool prefix executable)
  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_window.cpp)
  file(GLOB cli_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_command.cpp)
  file(GLOB core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(REMOVE_ITEM core_sources ${ui_sources} ${cli_sources} ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)

  add_library(${prefix}_core STATIC ${core_sources})
  target_link_libraries(${prefix}_core PUBLIC common_core)

  add_library(${prefix}_ui STATIC ${ui_sources})
  target_link_libraries(${prefix}_ui PUBLIC ${prefix}_core common_qt Qt6::Widgets)
  add_library(${prefix}_cli STATIC ${cli_sources})
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
