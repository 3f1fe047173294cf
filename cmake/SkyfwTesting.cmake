find_package(GTest REQUIRED)
include(GoogleTest)

# skyfw_add_test(NAME SOURCES a.cpp b.cpp LIBS skyfw_x ... [LABELS label ...]
#                [TIMEOUT seconds])
# One GoogleTest executable; every test case becomes a CTest test, with a
# time limit of 300 seconds unless TIMEOUT gives another.
function(skyfw_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    SKYFW_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    SKYFW_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set(properties TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(SKYFW_SANITIZE)
    # LeakSanitizer (GCC 12's runtime, glibc 2.36) can record a bogus range
    # for the dynamic TLS of a library loaded with dlopen, as the plug-in is,
    # and then crashes scanning it. Not scanning thread-local storage as roots
    # can only report more leaks, never fewer.
    list(APPEND properties ENVIRONMENT "LSAN_OPTIONS=use_tls=0")
  endif()
  if(WIN32)
    # Listed when ctest runs rather than after each link: the build then
    # starts no Wine process per test program.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST
                         PROPERTIES ${properties})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
  endif()
endfunction()
