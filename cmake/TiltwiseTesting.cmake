# tiltwise_add_test(NAME SOURCES a_test.cc ... LIBS lib ...)
# One GoogleTest binary per folder; every case becomes a CTest test.
find_package(GTest REQUIRED)
include(GoogleTest)

function(tiltwise_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    # Listing the cases would start the emulator at build time; run the binary as one test.
    add_test(NAME ${name} COMMAND ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 30)
  endif()
endfunction()
