runvane_add_test(NAME remote_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/remote_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_file_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/round_trip_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/response_document_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/response_file_test.cpp
)
runvane_add_test(NAME remote_ops_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ops_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_item_ops_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_item_ops_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msconfig_entries_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/failure_injection_test.cpp
)
# Hostile inputs at each entry point: check, repair, listing, disable,
# enable and delete through a command file.
runvane_add_test(NAME hostile_inputs_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/remote_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ops_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hostile_inputs_test.cpp
)
