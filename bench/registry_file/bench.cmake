# Parse time of the registry-file reader: each file shape at a size and at
# ten times it, and a lazy reading of a few keys against a whole one, as
# ratios measured in one run.
add_executable(registry_file_bench ${CMAKE_CURRENT_LIST_DIR}/registry_file_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prefix_like.cpp)
target_include_directories(registry_file_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(registry_file_bench PRIVATE rv_platform)
