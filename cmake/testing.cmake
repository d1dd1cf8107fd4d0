# GoogleTest from Debian's sources, built with this project's flags (sanitizers natively,
# the mingw posix runtime for Windows), and a helper that declares a test program.
include(GoogleTest)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# quellix_add_test(name SOURCES ... LIBS ... [PROPERTIES ...])
# Windows test programs are listed and run through the Wine wrapper (the toolchain's
# emulator); listing happens when ctest runs, inside the warm Wine session.
function(quellix_add_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(arg_PROPERTIES)
    set(properties PROPERTIES ${arg_PROPERTIES})
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    ${properties})
endfunction()
