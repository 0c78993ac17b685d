set(RV_MARKUP_TEST_LIBS)
if(NOT RUNVANE_WINDOWS)
  # The differential tests compare the parser with libxml2 (Linux only).
  find_package(LibXml2 REQUIRED)
  set(RV_MARKUP_TEST_LIBS LibXml2::LibXml2)
endif()
runvane_add_test(NAME markup_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/markup_parse_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_edit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_save_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_libxml2_test.cpp
  LIBS ${RV_MARKUP_TEST_LIBS}
)
