# The cost of the knowledge base: load time and per-item classification for
# knowledge bases of 0, 10,000 and 100,000 entries, as ratios in one run.
add_executable(knowledge_bench ${CMAKE_CURRENT_LIST_DIR}/knowledge_bench.cpp)
target_include_directories(knowledge_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(knowledge_bench PRIVATE rv_core_full)
