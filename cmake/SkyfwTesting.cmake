find_package(GTest REQUIRED)
include(GoogleTest)

# skyfw_add_test(NAME SOURCES a.cpp b.cpp LIBS skyfw_x ...)
# One GoogleTest executable; every test case becomes a CTest test.
function(skyfw_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    SKYFW_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    SKYFW_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
