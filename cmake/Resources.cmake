# Resource tables and version records, compiled by tools/rescomp into the target's "winres"
# section (read by FindResourceA and GetFileVersionInfoA of platform/res).
#
#   movrant_resources(TARGET t SCRIPT file.rc [DEPENDS files-or-targets ...])
#     Compiles the script (see tools/rescomp/Script.h) into target t. Generator expressions in
#     the script are evaluated first, so a line may name $<TARGET_FILE:other>; list such targets
#     or generated files under DEPENDS so they are built first (a file generated in another
#     folder needs the target that makes it listed too). Files the script names are tracked:
#     changing one rebuilds the table.
#
#   movrant_version(TARGET t VERSION 1.0.0.1 [DESCRIPTION text] [PRODUCT text]
#                   [COMPANY text] [PRODUCT_VERSION text])
#     Gives an executable or shared library its version record ("FileVersion", the Korean
#     translation entry and a few more strings). One call per target.
#
# Use both on executables and shared libraries only: a static library's table would be copied
# into every program that links it.

function(_movrant_compile_resources target script base tag)
  cmake_parse_arguments(C "DLL" "" "DEPENDS" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
    message(FATAL_ERROR "${target}: resources belong to executables and shared libraries, not to a ${type}")
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}.res)
  set(cpp ${dir}/${target}_${tag}.cpp)
  set(bin ${dir}/${target}_${tag}.bin)
  set(dll)
  if(C_DLL)
    set(dll --dll)
  endif()
  add_custom_command(OUTPUT ${cpp} ${bin}
    COMMAND rescomp --base ${base} --depfile ${dir}/${tag}.d ${dll} ${script} ${cpp}
    DEPENDS rescomp ${script} ${C_DEPENDS}
    DEPFILE ${dir}/${tag}.d
    COMMENT "Compiling ${tag} of ${target}"
    VERBATIM)
  set_source_files_properties(${cpp} PROPERTIES GENERATED TRUE OBJECT_DEPENDS ${bin})
  target_sources(${target} PRIVATE ${cpp})
endfunction()

function(movrant_resources)
  cmake_parse_arguments(R "" "TARGET;SCRIPT" "DEPENDS" ${ARGN})
  if(NOT R_TARGET OR NOT R_SCRIPT)
    message(FATAL_ERROR "movrant_resources needs TARGET and SCRIPT")
  endif()
  get_filename_component(script ${R_SCRIPT} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(base ${script} DIRECTORY)
  get_target_property(count ${R_TARGET} MOVRANT_RESOURCE_SCRIPTS)
  if(NOT count)
    set(count 0)
  endif()
  math(EXPR count "${count} + 1")
  set_target_properties(${R_TARGET} PROPERTIES MOVRANT_RESOURCE_SCRIPTS ${count})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${R_TARGET}.res/script${count}.rc)
  file(GENERATE OUTPUT ${generated} INPUT ${script})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  _movrant_compile_resources(${R_TARGET} ${generated} ${base} resources${count} DEPENDS ${R_DEPENDS})
endfunction()

function(movrant_version)
  cmake_parse_arguments(V "" "TARGET;VERSION;DESCRIPTION;PRODUCT;COMPANY;PRODUCT_VERSION" "" ${ARGN})
  if(NOT V_TARGET OR NOT V_VERSION)
    message(FATAL_ERROR "movrant_version needs TARGET and VERSION")
  endif()
  get_target_property(done ${V_TARGET} MOVRANT_VERSION)
  if(done)
    message(FATAL_ERROR "${V_TARGET} already has a version record")
  endif()
  set_target_properties(${V_TARGET} PROPERTIES MOVRANT_VERSION ${V_VERSION})
  if(NOT V_DESCRIPTION)
    set(V_DESCRIPTION ${V_TARGET})
  endif()
  if(NOT V_PRODUCT)
    set(V_PRODUCT "Movrant for Pavo")
  endif()
  if(NOT V_COMPANY)
    set(V_COMPANY "Delmaro")
  endif()
  if(NOT V_PRODUCT_VERSION)
    set(V_PRODUCT_VERSION ${V_VERSION})
  endif()
  set(lines "")
  foreach(pair "CompanyName;${V_COMPANY}" "FileDescription;${V_DESCRIPTION}" "FileVersion;${V_VERSION}"
               "InternalName;${V_TARGET}" "OriginalFilename;$<TARGET_FILE_NAME:${V_TARGET}>"
               "ProductName;${V_PRODUCT}" "ProductVersion;${V_PRODUCT_VERSION}")
    list(GET pair 0 key)
    list(GET pair 1 value)
    string(REPLACE "\"" "\"\"" value "${value}")
    string(APPEND lines "VERSION ${key} \"${value}\"\n")
  endforeach()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${V_TARGET}.res/version.rc)
  file(GENERATE OUTPUT ${script} CONTENT "${lines}")
  get_target_property(type ${V_TARGET} TYPE)
  set(dll)
  if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    set(dll DLL)
  endif()
  _movrant_compile_resources(${V_TARGET} ${script} ${CMAKE_CURRENT_BINARY_DIR} version ${dll})
endfunction()
