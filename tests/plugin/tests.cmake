# The check cycle through the exports, built once against each edition from
# the same sources.
set(RV_PLUGIN_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/cycle_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/check_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repair_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fix_by_name_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cycle_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/narrow_fields_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hostile_files_test.cpp
)
runvane_add_test(NAME check_cycle_full_tests EDITION full SOURCES ${RV_PLUGIN_TEST_SOURCES})
runvane_add_test(NAME check_cycle_check_tests EDITION check SOURCES ${RV_PLUGIN_TEST_SOURCES})
# Every export from several threads at once, and from threads in any COM
# state (full edition: all five exports).
runvane_add_test(NAME threads_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/cycle_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/threads_test.cpp)
