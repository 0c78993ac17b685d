# Command line to program path (cuts, environment expansion, split, search)
# and path splitting, over a scratch image.
runvane_add_fuzzer(NAME command_line EDITION check
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_line_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds)
