# The knowledge base, its DOM layer and the knowledge lookups. The same
# sources run against both editions: the check-only edition's narrower
# record changes which attribute texts still fit.
set(RV_KNOWLEDGE_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/classify_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/knowledge_base_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_dom_test.cpp
)
runvane_add_test(NAME knowledge_tests EDITION full SOURCES ${RV_KNOWLEDGE_TEST_SOURCES})
runvane_add_test(NAME knowledge_check_tests EDITION check SOURCES ${RV_KNOWLEDGE_TEST_SOURCES})
