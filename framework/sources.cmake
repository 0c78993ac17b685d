# General pieces every layer above may use: the growable array, the
# framework exceptions, the host-owned lists.
set(RV_FRAMEWORK_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/framework_exception.cpp
)
