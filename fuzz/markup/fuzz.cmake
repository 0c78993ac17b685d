runvane_add_fuzzer(NAME markup_parse_edit EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/parse_edit_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds
)
