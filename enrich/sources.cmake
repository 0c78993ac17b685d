# Item enrichment: command-line resolution, file facts, DOM access.
set(RV_ENRICH_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/resolve_command_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/split_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_facts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_dom.cpp
)
# The DOM access layer: MSXML through COM on Windows, libxml2 elsewhere.
if(RUNVANE_WINDOWS)
  list(APPEND RV_ENRICH_SOURCES ${CMAKE_CURRENT_LIST_DIR}/xml_dom_msxml.cpp)
  set(RV_ENRICH_LIBS ole32 oleaut32 uuid)
else()
  # Found here, at the top level, so that every folder linking the logic
  # (modules, tests, benchmarks) sees the imported target.
  find_package(LibXml2 REQUIRED)
  list(APPEND RV_ENRICH_SOURCES ${CMAKE_CURRENT_LIST_DIR}/xml_dom_libxml2.cpp)
  set(RV_ENRICH_LIBS LibXml2::LibXml2)
endif()
