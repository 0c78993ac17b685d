# A whole check against its I/O floor: an image of 1,000 Run values over the
# eleven keys naming 200 programs with version resources and 100 + 100 files
# in the startup folders (check_image.cpp, the same on both builds). On Linux
# the image is made through the platform layer, and the check, the listing
# and a fresh prefix's first check (a prefix-sized system.reg, or the one of
# RUNVANE_BENCH_PREFIX) are set against the least reading they need, with
# the knowledge-base load per entry and the peak heap per item.
# The Windows build's benchmark writes the image into the running system
# (a throw-away Wine prefix: check_bench_windows.sh) and sets the module's
# check against the least the Win32 API must be asked.
if(RUNVANE_WINDOWS)
  add_executable(check_bench_windows ${CMAKE_CURRENT_LIST_DIR}/check_bench_windows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/check_image.cpp)
  target_include_directories(check_bench_windows PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(check_bench_windows PRIVATE rv_core_check)
  # It copies the module, its knowledge base and a fixture from its own folder.
  add_dependencies(check_bench_windows runvane runvane_knowledge_base)
  if(TARGET runvane_fixtures)
    add_dependencies(check_bench_windows runvane_fixtures)
  endif()
  return()
endif()
add_executable(check_bench ${CMAKE_CURRENT_LIST_DIR}/check_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/check_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/heap_meter.cpp ${PROJECT_SOURCE_DIR}/bench/registry_file/prefix_like.cpp)
target_include_directories(check_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(check_bench PRIVATE rv_core_full)
target_compile_definitions(check_bench PRIVATE RUNVANE_FIXTURE_DIR="${CMAKE_BINARY_DIR}/bin/fixtures"
  RUNVANE_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
if(TARGET runvane_fixtures)
  add_dependencies(check_bench runvane_fixtures)
endif()
