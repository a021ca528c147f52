# velmora_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2)
# One GoogleTest executable, discovered by ctest. Tests find their fixtures through
# TEST_DATA_DIR, the helper scripts through TEST_SUPPORT_DIR and the built programs through
# TEST_BINARY_DIR.
find_package(GTest REQUIRED)
include(GoogleTest)

function(velmora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TEST_DATA_DIR="${VELMORA_SOURCE_ROOT}/tests/data"
    TEST_SUPPORT_DIR="${VELMORA_SOURCE_ROOT}/tests/support"
    TEST_BINARY_DIR="${CMAKE_BINARY_DIR}/bin")
  target_include_directories(${name} PRIVATE ${VELMORA_SOURCE_ROOT}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
