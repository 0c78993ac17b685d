runvane_add_test(NAME inventory_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/repair_worker_test.cpp
)
