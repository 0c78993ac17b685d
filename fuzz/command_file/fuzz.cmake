# Random command files through the remote-invoke export: the module must
# neither crash nor leave a response that is not a complete document.
runvane_add_fuzzer(NAME command_file EDITION full
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/command_file_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds
  LIBS LibXml2::LibXml2)
