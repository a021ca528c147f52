# velmora_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One GoogleTest executable. Tests find their fixtures through TEST_DATA_DIR, the helper scripts
# through TEST_SUPPORT_DIR and the built programs through TEST_BINARY_DIR.
#
# Linux: GoogleTest from the system, every test discovered by ctest.
# Windows (cross-built, run under Wine): GoogleTest built here from Debian's sources, and one
# ctest test per executable. Starting a Wine process costs far more than a test, so discovery
# (one start to list, one per test) would multiply the stage's time for nothing.
if(WIN32)
  set(VELMORA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # SYSTEM: its headers are held to no warnings of ours, as the system GoogleTest on Linux.
  add_subdirectory(${VELMORA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    # GoogleTest's own sources do not build with our -Werror and warnings; they are not ours.
    target_compile_options(${lib} PRIVATE -w)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()

  # Cross-built, every test runs under Wine in a prefix of this build folder, never the user's
  # own, made once before the first test. The Wine server and its services are kept for the
  # whole run: a cold start costs seconds, far more than most suites; the server is ended after
  # the last test. Their output goes nowhere: ctest would wait for the pipes they keep open.
  # Built natively on Windows, the tests simply run.
  if(CMAKE_CROSSCOMPILING)
    set(VELMORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    # The ODBC driver the end-to-end runs name: odbc32 hands over to the host's unixODBC of the
    # program's own width, and the 32-bit FreeTDS is registered under a name of its own.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(VELMORA_TEST_ODBC_DRIVER FreeTDS32 CACHE STRING "unixODBC driver of the end-to-end runs")
      # The prefix must run 32-bit programs: WoW64's command interpreter proves it.
      set(wine_probe "C:\\windows\\syswow64\\cmd.exe" /c exit 0)
    else()
      set(VELMORA_TEST_ODBC_DRIVER FreeTDS CACHE STRING "unixODBC driver of the end-to-end runs")
      set(wine_probe cmd /c exit 0)
    endif()
    # A test takes a program's exit status as Windows reports it, through the launcher of
    # tests/windows (wine_process.py says why Wine's own can be wrong): ctest runs the test
    # programs through wine-run, and the end-to-end scripts find the launcher by this variable.
    set(VELMORA_WINE_ENVIRONMENT WINEPREFIX=${VELMORA_WINEPREFIX} WINEDEBUG=-all
      VELMORA_TEST_ODBC_DRIVER=${VELMORA_TEST_ODBC_DRIVER}
      VELMORA_TEST_LAUNCH=$<TARGET_FILE:velmora-test-launch>)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_SOURCE_ROOT}/tests/windows/wine-run)
    add_test(NAME wine_prefix
      COMMAND ${VELMORA_SOURCE_ROOT}/tests/windows/make-wine-prefix ${wine_probe})
    add_test(NAME wine_server_end COMMAND sh -c "wineserver -k 2>/dev/null || true")
    set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine
      ENVIRONMENT "${VELMORA_WINE_ENVIRONMENT}" TIMEOUT 180)
    set_tests_properties(wine_server_end PROPERTIES FIXTURES_CLEANUP wine
      ENVIRONMENT "${VELMORA_WINE_ENVIRONMENT}")
  endif()
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

function(velmora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TEST_DATA_DIR="${VELMORA_SOURCE_ROOT}/tests/data"
    TEST_SUPPORT_DIR="${VELMORA_SOURCE_ROOT}/tests/support"
    TEST_BINARY_DIR="${CMAKE_BINARY_DIR}/bin")
  target_include_directories(${name} PRIVATE ${VELMORA_SOURCE_ROOT}/tests)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    velmora_wine_test(${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# A test that runs Windows programs under Wine: in the build's prefix, after it is made.
function(velmora_wine_test name)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${VELMORA_WINE_ENVIRONMENT}"
      FIXTURES_REQUIRED wine)
  endif()
endfunction()
