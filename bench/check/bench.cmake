# A whole check against its I/O floor: an image of 1,000 Run values over the
# eleven keys naming 200 programs with version resources and 100 + 100 files
# in the startup folders, made through the platform layer; the check, the
# listing and a fresh prefix's first check (a prefix-sized system.reg, or
# the one of RUNVANE_BENCH_PREFIX) as ratios to the least reading
# they need, the knowledge-base load per entry and the peak heap per item.
add_executable(check_bench ${CMAKE_CURRENT_LIST_DIR}/check_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/heap_meter.cpp
  ${PROJECT_SOURCE_DIR}/bench/registry_file/prefix_like.cpp)
target_include_directories(check_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(check_bench PRIVATE rv_core_full)
target_compile_definitions(check_bench PRIVATE RUNVANE_FIXTURE_DIR="${CMAKE_BINARY_DIR}/bin/fixtures"
  RUNVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
if(TARGET runvane_fixtures)
  add_dependencies(check_bench runvane_fixtures)
endif()
