# The Linux backend's readers of outside text: the image's path mapping with
# the UTF-8 conversion, and environment expansion.
runvane_add_fuzzer(NAME path_mapping EDITION none
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_mapping_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds_path)
runvane_add_fuzzer(NAME environment EDITION none
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/environment_fuzzer.cpp
  SEEDS ${CMAKE_CURRENT_LIST_DIR}/seeds_environment)
