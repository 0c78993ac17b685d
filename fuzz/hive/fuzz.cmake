# The hive store on damaged hives (an offline volume's SOFTWARE): walk, then
# one change committed and read back. Seeds: the damaged test hive of
# tests/fixtures/hives and cut-off copies of it.
runvane_add_fuzzer(NAME hive EDITION none
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/hive_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds)
