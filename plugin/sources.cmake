# Plugin boundary: the exports and the check list (the load and unload hooks
# in module_entry.cpp are added to the modules only).
set(RV_PLUGIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/check_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exports.cpp
)
