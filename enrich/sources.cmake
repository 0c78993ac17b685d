# Item enrichment: command-line resolution, file facts, knowledge base, DOM.
set(RV_ENRICH_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/resolve_command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_facts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/knowledge_base.cpp
)
set(RV_ENRICH_LIBS)
