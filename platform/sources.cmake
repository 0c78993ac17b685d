# The platform layer: one backend per target, plus the portable helpers.
set(RV_PLATFORM_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/wtext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wtext_utf8.cpp
  ${CMAKE_CURRENT_LIST_DIR}/case_fold_compare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_version.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_compare.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_io.cpp
)
set(RV_PLATFORM_LINUX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/linux/call_scope.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/case_fold.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/create_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/hive_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/hive_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/host_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/large_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/module_file_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/offline_windows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/prefix_probe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/registry_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/registry_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/system.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/version_info.cpp
)
set(RV_PLATFORM_WINDOWS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/windows/call_scope.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/version_info.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/module_file_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/system.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/case_fold.cpp
  ${CMAKE_CURRENT_LIST_DIR}/windows/large_pages.cpp
)
# The entry point that calls the module's load and unload hooks: linked into
# the modules only.
if(RUNVANE_WINDOWS)
  set(RV_PLATFORM_MODULE_MAIN ${CMAKE_CURRENT_LIST_DIR}/windows/module_main.cpp)
else()
  set(RV_PLATFORM_MODULE_MAIN ${CMAKE_CURRENT_LIST_DIR}/linux/module_main.cpp)
endif()
if(RUNVANE_WINDOWS)
  set(RV_PLATFORM_SOURCES ${RV_PLATFORM_COMMON_SOURCES} ${RV_PLATFORM_WINDOWS_SOURCES})
  set(RV_PLATFORM_LIBS shlwapi shell32 version ole32 oleaut32 user32 advapi32 uuid)
else()
  set(RV_PLATFORM_SOURCES ${RV_PLATFORM_COMMON_SOURCES} ${RV_PLATFORM_LINUX_SOURCES})
  set(RV_PLATFORM_LIBS dl hivex)
endif()
