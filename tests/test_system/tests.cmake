# The test system itself and the platform seams the other tests stand on:
# CleanSystem, the module-path seam, the file helpers, case folding.
runvane_add_test(NAME test_system_tests EDITION none SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_system_test.cpp
)
