# Parse time of the registry-file reader on pathological files against a
# prefix-like file of similar size, as ratios measured in one run.
add_executable(registry_file_bench ${CMAKE_CURRENT_LIST_DIR}/registry_file_bench.cpp)
target_include_directories(registry_file_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(registry_file_bench PRIVATE rv_platform)
