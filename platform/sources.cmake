# The platform layer: one backend per target, plus the portable helpers.
set(RV_PLATFORM_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/wtext.cpp
)
set(RV_PLATFORM_LINUX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/linux/stub_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/linux/version_info.cpp
)
set(RV_PLATFORM_WINDOWS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/windows/win32_backend.cpp
)
if(RUNVANE_WINDOWS)
  set(RV_PLATFORM_SOURCES ${RV_PLATFORM_COMMON_SOURCES} ${RV_PLATFORM_WINDOWS_SOURCES})
  set(RV_PLATFORM_LIBS shlwapi shell32 version ole32 oleaut32 user32)
else()
  set(RV_PLATFORM_SOURCES ${RV_PLATFORM_COMMON_SOURCES} ${RV_PLATFORM_LINUX_SOURCES})
  set(RV_PLATFORM_LIBS dl)
endif()
