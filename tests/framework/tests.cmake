# The general pieces: the growable array and its growth rule, the host lists.
runvane_add_test(NAME framework_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/carray_test.cpp
)
