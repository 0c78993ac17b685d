runvane_add_test(NAME inventory_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/repair_worker_test.cpp
)
runvane_add_test(NAME registry_views_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/registry_views_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_views_wine_test.cpp
)
