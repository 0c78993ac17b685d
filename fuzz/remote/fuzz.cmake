# The listing: registry contents in, response out, read back by libxml2.
runvane_add_fuzzer(NAME listing EDITION full
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/listing_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds
  LIBS LibXml2::LibXml2)
