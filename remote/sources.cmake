# Remote-invoke service (full edition only).
set(RV_REMOTE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/remote_invoke.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cxml_result.cpp
  ${CMAKE_CURRENT_LIST_DIR}/item_guards.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_item_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_item_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msconfig_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/msconfig_entries.cpp
)
set(RV_REMOTE_LIBS rv_xerces)
