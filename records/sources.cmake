# The plain records: the item record, the records that cross to the host
# (CheckNode, FixNode, the progress callback) and those of the remote invoke.
set(RV_RECORDS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/run_data.cpp
)
