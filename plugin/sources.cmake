# Plugin boundary: the five exports (the load and unload hooks
# in module_entry.cpp are added to the modules only).
set(RV_PLUGIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/exports.cpp
)
