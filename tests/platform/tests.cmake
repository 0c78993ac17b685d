runvane_add_test(NAME platform_tests EDITION none SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wine_interop_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_file_wine_test.cpp
)
