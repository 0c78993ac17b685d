runvane_add_test(NAME remote_ops_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ops_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_item_ops_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_item_ops_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msconfig_entries_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/failure_injection_test.cpp
)
