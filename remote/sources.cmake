# Remote-invoke service (full edition only).
set(RV_REMOTE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/remote_invoke_export.cpp
)
set(RV_REMOTE_LIBS rv_xerces)
