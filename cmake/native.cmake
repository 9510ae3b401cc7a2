# Native build: the portable logic, its unit tests and the host-side tools.

if(TARNVIK_TSAN OR TARNVIK_TESTS)
  find_package(GTest REQUIRED)
  enable_testing()
  include(GoogleTest)
endif()

# One GoogleTest program of the .cpp files in tests/<folder>, its cases discovered for ctest.
function(tarnvik_test_program name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE tarnvik_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST ${ARGN})
endfunction()

if(TARNVIK_TSAN)
  # The threaded layer alone: the unit tests run on one thread and gain nothing from it.
  tarnvik_test_program(tarnvik_thread_tests threads
                       PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
  return()
endif()

if(TARNVIK_TESTS)
  tarnvik_test_program(tarnvik_unit_tests unit)
endif()

file(GLOB TARNVIK_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/bench/*_native.cpp)
foreach(src ${TARNVIK_BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE tarnvik_core)
endforeach()
