# GoogleTest from Debian's sources, built with this project's flags (sanitizers natively,
# the mingw posix runtime for Windows), and a helper that declares a test program.
include(GoogleTest)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# quellix_add_test(name SOURCES ... LIBS ... [LOCK resource] [SERIAL] [TIMEOUT seconds])
# LOCK names the one shared resource the program's tests use (the desktop, the registry);
# ctest runs no two tests with the same lock at once. One name only: a list would reach
# ctest flattened, and the tests would then lock only its first name (check_locks.cmake
# catches that). SERIAL runs each test alone.
# Windows test programs are listed and run through the Wine wrapper (the toolchain's
# emulator); listing happens when ctest runs, inside the warm Wine session.
function(quellix_add_test name)
  cmake_parse_arguments(arg "SERIAL" "LOCK;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set(properties)
  if(arg_LOCK)
    if(arg_LOCK MATCHES ";")
      message(FATAL_ERROR "quellix_add_test(${name}): LOCK takes one name, not '${arg_LOCK}'")
    endif()
    list(APPEND properties RESOURCE_LOCK ${arg_LOCK})
    set_property(GLOBAL APPEND PROPERTY QUELLIX_TEST_LOCKS "${name}=${arg_LOCK}")
  endif()
  if(arg_SERIAL)
    list(APPEND properties RUN_SERIAL TRUE)
    set_property(GLOBAL APPEND PROPERTY QUELLIX_TEST_LOCKS "${name}=serial")
  endif()
  if(arg_TIMEOUT)
    list(APPEND properties TIMEOUT ${arg_TIMEOUT})
  endif()
  if(properties)
    set(properties PROPERTIES ${properties})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    ${properties})
endfunction()

# A test that reads back, from ctest itself, that every test of a locked program holds
# its lock: the only place where a lock that got lost on its way would show.
function(quellix_check_locks)
  get_property(locks GLOBAL PROPERTY QUELLIX_TEST_LOCKS)
  string(REPLACE ";" "," locks "${locks}")
  add_test(NAME test_locks_check
    COMMAND ${CMAKE_COMMAND} -DCTEST=${CMAKE_CTEST_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} "-DLOCKS=${locks}"
            -P ${PROJECT_SOURCE_DIR}/cmake/check_locks.cmake)
endfunction()
