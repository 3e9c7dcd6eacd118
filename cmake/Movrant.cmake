# Shared build helpers.
include(${CMAKE_CURRENT_LIST_DIR}/Resources.cmake)

# The system's code and our outside components hold Korean literals that must become
# code page 949 bytes, as on a Korean Windows system. <chrono> and Qt cannot be
# compiled that way, so only these targets get the flags.
function(movrant_cp949 target)
  target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=CP949)
endfunction()

# A GoogleTest executable registered with CTest.
#   movrant_test(NAME name SOURCES ... LIBS ... [CP949] [ENV k=v ...])
function(movrant_test)
  cmake_parse_arguments(T "CP949" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  if(T_CP949)
    movrant_cp949(${T_NAME})
  endif()
  gtest_discover_tests(${T_NAME}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1;${T_ENV}"
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
