# add_tool(<prefix> <executable>): one program from the current folder.
# *_window.cpp form the window library <prefix>_ui, main.cpp the executable,
# every other .cpp the module library <prefix>_core, which has no widgets so
# that tests and the benchmark use the same code as the window. Only the
# executable is installed, to bin/ in the component "tools".
include(GNUInstallDirs)

function(add_tool prefix executable)
  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_window.cpp)
  file(GLOB core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(REMOVE_ITEM core_sources ${ui_sources} ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)

  add_library(${prefix}_core STATIC ${core_sources})
  target_link_libraries(${prefix}_core PUBLIC common_core)

  add_library(${prefix}_ui STATIC ${ui_sources})
  target_link_libraries(${prefix}_ui PUBLIC ${prefix}_core common_qt Qt6::Widgets)
  add_executable(${executable} main.cpp)
  target_link_libraries(${executable} PRIVATE ${prefix}_ui)
  install(TARGETS ${executable} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endfunction()
