# Movrant's resources: the login dialog's skin drawn at build time (no binary artwork in the
# repository), its layout with the button strips filled in, and the scrambled update helper.
#
#   movrant_program_resources(TARGET MovrantPavo)
# (every call in the same folder shares the generated files)

set(_movrant_resources_dir ${CMAKE_CURRENT_LIST_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/MovrantVersion.cmake)

function(movrant_program_resources)
  cmake_parse_arguments(P "" "TARGET" "" ${ARGN})
  set(MOVRANT_ART_DIR ${CMAKE_CURRENT_BINARY_DIR}/art)
  set(MOVRANT_HELPER_SCRAMBLED ${CMAKE_CURRENT_BINARY_DIR}/qvrxupd.scr)
  set(art ${MOVRANT_ART_DIR}/frame_login.bmp ${MOVRANT_ART_DIR}/home_page.bmp ${MOVRANT_ART_DIR}/FormLogin.dfm)

  if(NOT TARGET movrant_genart)
    add_executable(movrant_genart ${_movrant_resources_dir}/genart.cpp)
    add_custom_command(OUTPUT ${art} ${MOVRANT_ART_DIR}/btn_login.bmp ${MOVRANT_ART_DIR}/btn_cancel.bmp
      COMMAND ${CMAKE_COMMAND} -E make_directory ${MOVRANT_ART_DIR}
      COMMAND movrant_genart ${MOVRANT_ART_DIR} ${_movrant_resources_dir}/layouts/FormLogin.dfm
              ${MOVRANT_ART_DIR}/FormLogin.dfm
      DEPENDS movrant_genart ${_movrant_resources_dir}/layouts/FormLogin.dfm
      COMMENT "Drawing the login dialog's skin")

    add_custom_command(OUTPUT ${MOVRANT_HELPER_SCRAMBLED}
      COMMAND helper_scramble $<TARGET_FILE:qvrxupd> ${MOVRANT_HELPER_SCRAMBLED}
      DEPENDS qvrxupd helper_scramble
      COMMENT "Scrambling the update helper")
    add_custom_target(movrant_resource_files DEPENDS ${art} ${MOVRANT_HELPER_SCRAMBLED})
    configure_file(${_movrant_resources_dir}/Movrant.rc.in ${CMAKE_CURRENT_BINARY_DIR}/Movrant.rc @ONLY)
  endif()

  movrant_resources(TARGET ${P_TARGET} SCRIPT ${CMAKE_CURRENT_BINARY_DIR}/Movrant.rc
    DEPENDS ${art} ${MOVRANT_HELPER_SCRAMBLED} movrant_resource_files)
endfunction()
