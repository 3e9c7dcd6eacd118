# Movrant's resources: the login dialog's skin drawn at build time (no binary artwork in the
# repository), its layout with the button strips filled in, and the scrambled update helper.
#
#   movrant_program_resources(TARGET t)
#     Gives t (an executable) Movrant's resource table. The generated files are made once per
#     folder and shared by every target of that folder.
#   movrant_program(TARGET t VERSION v [DIRECTORY d])
#     MovrantPavo.exe from the program entry of the current folder, with the resources and the
#     version record v; DIRECTORY puts it into a sub-folder of the build (the name stays).

include(${CMAKE_CURRENT_LIST_DIR}/MovrantVersion.cmake)
set(MOVRANT_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})

function(movrant_program_resources)
  cmake_parse_arguments(P "" "TARGET" "" ${ARGN})
  set(art_dir ${CMAKE_CURRENT_BINARY_DIR}/art)
  set(scrambled ${CMAKE_CURRENT_BINARY_DIR}/qvrxupd.scr)
  set(art ${art_dir}/frame_login.bmp ${art_dir}/home_page.bmp ${art_dir}/FormLogin.dfm)
  foreach(name title btn_down btn_pause btn_folder btn_camera btn_close btn_help pb_left pb_body pb_right animation)
    list(APPEND art ${art_dir}/${name}.bmp)
  endforeach()

  get_directory_property(files_target MOVRANT_RESOURCE_FILES)
  if(NOT files_target)
    if(NOT TARGET movrant_genart)
      add_executable(movrant_genart ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/genart.cpp)
    endif()
    add_custom_command(OUTPUT ${art} ${art_dir}/btn_login.bmp ${art_dir}/btn_cancel.bmp
      COMMAND ${CMAKE_COMMAND} -E make_directory ${art_dir}
      COMMAND movrant_genart ${art_dir} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts/FormLogin.dfm ${art_dir}/FormLogin.dfm
      DEPENDS movrant_genart ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts/FormLogin.dfm
      COMMENT "Drawing the login dialog's skin")
    add_custom_command(OUTPUT ${scrambled}
      COMMAND helper_scramble $<TARGET_FILE:qvrxupd> ${scrambled}
      DEPENDS qvrxupd helper_scramble
      COMMENT "Scrambling the update helper")
    set(files_target ${P_TARGET}_resource_files)
    add_custom_target(${files_target} DEPENDS ${art} ${scrambled})
    set(MOVRANT_ART_DIR ${art_dir})
    set(MOVRANT_HELPER_SCRAMBLED ${scrambled})
    set(MOVRANT_LAYOUT_DIR ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Movrant.rc.in ${CMAKE_CURRENT_BINARY_DIR}/Movrant.rc @ONLY)
    set_directory_properties(PROPERTIES MOVRANT_RESOURCE_FILES ${files_target})
  endif()

  movrant_resources(TARGET ${P_TARGET} SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/Movrant.rc
    DEPENDS ${art} ${scrambled} ${files_target} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts/FormWebBrowser.dfm
      ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts/FormMain.dfm
      ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layouts/FormProgramUpdate.dfm)
endfunction()

# What a program needs beside it: the shell library the folder dialog asks for its version, the
# zip engine library and the local intro page of the download form ("HTML\Intro1.html").
function(movrant_program_files)
  cmake_parse_arguments(P "" "TARGET" "" ${ARGN})
  add_dependencies(${P_TARGET} shell32 ZBEngine)
  add_custom_command(TARGET ${P_TARGET} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:shell32> $<TARGET_FILE_DIR:${P_TARGET}>/Shell32.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ZBEngine> $<TARGET_FILE_DIR:${P_TARGET}>/ZBEngine.dll
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${MOVRANT_RESOURCES_DIR}/html $<TARGET_FILE_DIR:${P_TARGET}>/HTML)
endfunction()

function(movrant_program)
  cmake_parse_arguments(P "" "TARGET;VERSION;DIRECTORY" "" ${ARGN})
  add_executable(${P_TARGET} ${CMAKE_CURRENT_SOURCE_DIR}/MovrantPavo.cpp)
  set_target_properties(${P_TARGET} PROPERTIES OUTPUT_NAME MovrantPavo.exe)
  if(P_DIRECTORY)
    set_target_properties(${P_TARGET} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${P_DIRECTORY})
  endif()
  target_link_libraries(${P_TARGET} PRIVATE updater_units)
  movrant_cp949(${P_TARGET})
  movrant_program_resources(TARGET ${P_TARGET})
  movrant_version(TARGET ${P_TARGET} VERSION ${P_VERSION} DESCRIPTION "Movrant for Pavo")
  movrant_program_files(TARGET ${P_TARGET})
endfunction()
