# The knowledge base: its loader, the lists a scan owns and their index, and
# the classification of items against them.
set(RV_KNOWLEDGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/scan_context.cpp
  ${CMAKE_CURRENT_LIST_DIR}/knowledge_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/classify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/knowledge_base.cpp
)
