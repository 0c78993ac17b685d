# Startup-item inventory: the Run-key table, the scanners and the scan driver,
# the check list and repair.
set(RV_INVENTORY_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/run_key_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_values.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_key_scanner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_folders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_folder_scanner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scan_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/check_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/repair.cpp
)
