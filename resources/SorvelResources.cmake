# Sorvel's resources and program.
#
#   sorvel_program_resources(TARGET t)
#     Gives t (an executable) Sorvel's resource table: its data module's layout and the splash
#     window's layout, made from the web page window's layout that Movrant has too.
#   sorvel_program(TARGET t)
#     Sorvel.exe from the program entry of the current folder, with the resources and its
#     version record.

set(SORVEL_PROGRAM_VERSION 1.0.0.1)

function(sorvel_program_resources)
  cmake_parse_arguments(P "" "TARGET" "" ${ARGN})
  set(shared ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts/FormWebBrowser.dfm)
  set(SORVEL_LAYOUT_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts/splash)
  set(SORVEL_WINDOW_LAYOUT ${CMAKE_CURRENT_BINARY_DIR}/sorvel/FormWebBrowser.dfm)
  get_directory_property(files_target SORVEL_RESOURCE_FILES)
  if(NOT files_target)
    add_custom_command(OUTPUT ${SORVEL_WINDOW_LAYOUT}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${shared} -DOUTPUT=${SORVEL_WINDOW_LAYOUT}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/SorvelWindowLayout.cmake
      DEPENDS ${shared} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/SorvelWindowLayout.cmake
      COMMENT "Making Sorvel's layout of the web page window")
    set(files_target ${P_TARGET}_resource_files)
    add_custom_target(${files_target} DEPENDS ${SORVEL_WINDOW_LAYOUT})
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Sorvel.rc.in ${CMAKE_CURRENT_BINARY_DIR}/Sorvel.rc @ONLY)
    set_directory_properties(PROPERTIES SORVEL_RESOURCE_FILES ${files_target})
  endif()
  movrant_resources(TARGET ${P_TARGET} SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/Sorvel.rc
    DEPENDS ${SORVEL_WINDOW_LAYOUT} ${files_target} ${SORVEL_LAYOUT_DIR}/DataModuleMaster.dfm)
endfunction()

function(sorvel_program)
  cmake_parse_arguments(P "" "TARGET" "" ${ARGN})
  add_executable(${P_TARGET} ${CMAKE_CURRENT_SOURCE_DIR}/Sorvel.cpp)
  set_target_properties(${P_TARGET} PROPERTIES OUTPUT_NAME Sorvel.exe)
  target_link_libraries(${P_TARGET} PRIVATE splash_units)
  movrant_cp949(${P_TARGET})
  sorvel_program_resources(TARGET ${P_TARGET})
  movrant_version(TARGET ${P_TARGET} VERSION ${SORVEL_PROGRAM_VERSION} DESCRIPTION "Sorvel")
endfunction()
