# Arbitrary bytes as the knowledge base (read through libxml2 on Linux).
runvane_add_fuzzer(NAME knowledge_base EDITION full
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/knowledge_base_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds)
