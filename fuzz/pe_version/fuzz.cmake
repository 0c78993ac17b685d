# Arbitrary bytes as an executable image and as a version block.
runvane_add_fuzzer(NAME pe_version EDITION none
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_pe_version.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds)
