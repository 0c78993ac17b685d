# The exported surface of the built modules, read from the files themselves.
runvane_add_test(NAME surface_tests EDITION none SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/binary_surface.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_surface_test.cpp
)
add_dependencies(surface_tests runvane runvane_check)
