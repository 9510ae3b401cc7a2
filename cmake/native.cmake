# Native build: the portable logic, its unit tests and the host-side tools.

if(TARNVIK_TSAN OR TARNVIK_TESTS)
  find_package(GTest REQUIRED)
  enable_testing()
endif()

# One GoogleTest program of the .cpp files in tests/<folder>, registered with ctest as `shards`
# tests, each running its share of the cases (GoogleTest's own sharding) in one process: a
# sanitised process per case costs more than the cases do. GTEST_BRIEF keeps the output to the
# failures, each named by its case, and GoogleTest's summary, from which scripts/test counts
# the cases. One case alone: `build/<preset>/<name> --gtest_filter=Suite.Case`.
function(tarnvik_test_program name folder shards)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE tarnvik_core GTest::gtest GTest::gtest_main)
  set(env GTEST_TOTAL_SHARDS=${shards} GTEST_BRIEF=1 ${ARGN})
  math(EXPR last "${shards} - 1")
  foreach(shard RANGE ${last})
    add_test(NAME ${name}.${shard}of${shards} COMMAND ${name})
    set_tests_properties(${name}.${shard}of${shards} PROPERTIES
                         ENVIRONMENT "${env};GTEST_SHARD_INDEX=${shard}")
  endforeach()
endfunction()

if(TARNVIK_TSAN)
  # The threaded layer alone: the unit tests run on one thread and gain nothing from it.
  tarnvik_test_program(tarnvik_thread_tests threads 2 "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
  return()
endif()

if(TARNVIK_TESTS)
  tarnvik_test_program(tarnvik_unit_tests unit 4)
endif()

file(GLOB TARNVIK_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/bench/*_native.cpp)
foreach(src ${TARNVIK_BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE tarnvik_core)
endforeach()
