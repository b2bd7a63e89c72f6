# Helpers shared by the subsystem folders.
#
# Each subsystem folder holds its logic as *.cpp at the top (Qt Core at most)
# and its window code under ui/ (Qt Widgets). New files are picked up without
# editing the lists, so that several people can add files to one folder.

# sheaf_logic_library(NAME DIR LINKS...): a static library of DIR/*.cpp.
function(sheaf_logic_library name)
  cmake_parse_arguments(arg "" "" "LINKS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(ex IN LISTS arg_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${ex}$")
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${arg_LINKS})
endfunction()

# sheaf_ui_library(NAME LINKS...): a static library of the folder's ui/*.cpp,
# the window part of one subsystem (Qt Widgets). Only with SHEAF_BUILD_GUI.
function(sheaf_ui_library name)
  cmake_parse_arguments(arg "" "" "LINKS;EXTRA" ${ARGN})
  if(NOT SHEAF_BUILD_GUI)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp)
  add_library(${name} STATIC ${sources} ${arg_EXTRA})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC Qt6::Widgets ${arg_LINKS})
endfunction()
