# The registry-file reader and writer: parse, change, write, parse again.
runvane_add_fuzzer(NAME registry_file EDITION none
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/registry_file_fuzzer.cpp
)
