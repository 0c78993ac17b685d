# The markup engine: the module's own XML text engine (full edition only).
set(RV_MARKUP_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/markup_doc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_tokenizer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_attribute.cpp
  ${CMAKE_CURRENT_LIST_DIR}/markup_save.cpp
)
