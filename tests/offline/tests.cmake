# Offline Windows volumes (Linux only): the hive store against reglookup on
# real hives and on a volume built with hivexsh, and the reference host's
# whole round on such a volume.
if(NOT RUNVANE_WINDOWS)
  include(${PROJECT_SOURCE_DIR}/tests/fixtures/fixtures.cmake)
  runvane_add_test(NAME offline_windows_tests EDITION none SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/offline_windows_test.cpp)
  target_compile_definitions(offline_windows_tests PRIVATE
    RUNVANE_HIVE_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures/hives"
    RUNVANE_HIVE_SEED_DIR="${PROJECT_SOURCE_DIR}/fuzz/hive/seeds"
    RUNVANE_VOLUME_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/make_offline_volume.sh"
    RUNVANE_FIXTURE_DIR="${RV_FIXTURE_DIR}")
  add_dependencies(offline_windows_tests runvane_fixtures)
endif()
if(NOT RUNVANE_WINDOWS)
  add_test(NAME offline_host_test
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/offline_host_test.sh $<TARGET_FILE:runvane_host>
      ${PROJECT_SOURCE_DIR}/tests/support/make_offline_volume.sh ${RV_FIXTURE_DIR}
      ${PROJECT_SOURCE_DIR}/tests/fixtures/hives)
  set_tests_properties(offline_host_test PROPERTIES TIMEOUT 120)
endif()
