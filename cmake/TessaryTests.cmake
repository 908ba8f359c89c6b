# Test support: GoogleTest from the system's source package, built with the
# same toolchain, and a helper that declares one test executable.

if(CMAKE_CROSSCOMPILING AND TESSARY_WINE64)
  # Every test runs under Wine in a prefix that lives in the build tree;
  # scripts/test.sh creates and warms it before ctest starts. The runner
  # starts a program again once when Wine failed to start it, and records
  # that in silent-starts.log.
  set(TESSARY_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${PROJECT_SOURCE_DIR}/scripts/wine-test-run.sh" "${CMAKE_BINARY_DIR}/silent-starts.log"
      /usr/bin/env "WINEPREFIX=${TESSARY_WINEPREFIX}" WINEDEBUG=-all
      "WINEDLLOVERRIDES=winedbg.exe=d" LANG=C.UTF-8 "${TESSARY_WINE64}")
endif()

if(NOT TARGET gtest)
  set(_gtest_src /usr/src/googletest)
  if(NOT EXISTS ${_gtest_src}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${_gtest_src}: run scripts/bootstrap.sh")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${_gtest_src} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

include(GoogleTest)

# tessary_add_test(NAME SOURCES ... LIBS ... [PROPERTIES ...])
# Declares a GoogleTest executable and registers each of its tests with ctest.
function(tessary_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE tessary_options gtest gtest_main ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  gtest_discover_tests(${name}
    NO_PRETTY_VALUES
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${T_PROPERTIES})
endfunction()
