# Startup-item inventory: records, context, classification, scanners, repair.
set(RV_INVENTORY_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/scan_context.cpp
  ${CMAKE_CURRENT_LIST_DIR}/classify.cpp
  ${CMAKE_CURRENT_LIST_DIR}/knowledge_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_key_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_key_scanner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_folder_scanner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repair.cpp
)
