# Shared build helpers.
include(${CMAKE_CURRENT_LIST_DIR}/Resources.cmake)

# The system's code and our outside components hold Korean literals that must become
# code page 949 bytes, as on a Korean Windows system. <chrono> and Qt cannot be
# compiled that way, so only these targets get the flags.
# clang has no CP949 execution character set: the fuzz build compiles copies of the sources
# converted to CP949, whose bytes clang keeps as they are in narrow literals. Quoted includes
# still find the headers beside the original source.
function(movrant_cp949 target)
  if(NOT MOVRANT_FUZZ)
    target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=CP949)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(converted)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${source_dir} NORMALIZE OUTPUT_VARIABLE path)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${path}" NORMALIZE in_tree)
    cmake_path(IS_PREFIX PROJECT_BINARY_DIR "${path}" NORMALIZE generated)
    if(NOT in_tree OR generated OR NOT path MATCHES "\\.(cpp|c)$")
      list(APPEND converted ${source})
      continue()
    endif()
    cmake_path(RELATIVE_PATH path BASE_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE rel)
    set(copy ${PROJECT_BINARY_DIR}/cp949/${target}/${rel})
    cmake_path(GET path PARENT_PATH dir)
    cmake_path(GET copy PARENT_PATH copy_dir)
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${copy_dir}
      COMMAND iconv -f UTF-8 -t CP949 -o ${copy} ${path}
      DEPENDS ${path}
      VERBATIM)
    list(APPEND converted ${copy})
    target_include_directories(${target} PRIVATE ${dir})
  endforeach()
  set_property(TARGET ${target} PROPERTY SOURCES ${converted})
  target_compile_options(${target} PRIVATE -Wno-invalid-source-encoding)
endfunction()

# A GoogleTest executable registered with CTest.
#   movrant_test(NAME name SOURCES ... LIBS ... [CP949] [ENV k=v ...])
# The environment goes through a small launcher script rather than the ENVIRONMENT test
# property, whose list splitting would cut values that hold ';' (drive tables do).
function(movrant_test)
  cmake_parse_arguments(T "CP949" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  if(T_CP949)
    movrant_cp949(${T_NAME})
  endif()
  set(launcher "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}.launch")
  set(lines "#!/bin/sh\nexport QT_QPA_PLATFORM=offscreen\nexport QTWEBENGINE_DISABLE_SANDBOX=1\n")
  if(MOVRANT_SANITIZE)
    string(APPEND lines "export LSAN_OPTIONS=\"suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:intercept_tls_get_addr=0\"\n")
    # Qt WebEngine's own code deletes objects with a mismatched size (inside the library).
    string(APPEND lines "export ASAN_OPTIONS=\"new_delete_type_mismatch=0\"\n")
  endif()
  foreach(assignment IN LISTS T_ENV)
    string(FIND "${assignment}" "=" eq)
    string(SUBSTRING "${assignment}" 0 ${eq} key)
    math(EXPR start "${eq} + 1")
    string(SUBSTRING "${assignment}" ${start} -1 value)
    string(REPLACE "'" "'\\''" value "${value}")
    string(APPEND lines "export ${key}='${value}'\n")
  endforeach()
  # The test runs in a session of its own, ended with it: a browser helper that outlives the test
  # would keep its output open, and CTest would wait on it until the test's time-out. A command
  # the shell starts in the background ignores SIGINT and SIGQUIT: the test gets them back.
  string(APPEND lines "setsid env --default-signal=INT,QUIT \"$@\" &\npid=$!\ntrap 'kill -KILL -$pid 2>/dev/null; exit 143' TERM INT HUP\n")
  string(APPEND lines "wait $pid\nstatus=$?\nkill -KILL -$pid 2>/dev/null\nexit $status\n")
  file(WRITE "${launcher}.in" "${lines}")
  file(CHMOD "${launcher}.in" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
  configure_file("${launcher}.in" "${launcher}" COPYONLY)
  set_property(TARGET ${T_NAME} PROPERTY CROSSCOMPILING_EMULATOR "${launcher}")
  gtest_discover_tests(${T_NAME}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60)
endfunction()

# Adds every child folder that has a CMakeLists.txt, so that areas can be added
# without touching the parent.
macro(movrant_add_subdirs)
  file(GLOB _movrant_children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _movrant_children)
  foreach(_child ${_movrant_children})
    if(IS_DIRECTORY ${_child} AND EXISTS ${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()
