# Command-line resolution, file facts, version resources and the startup
# folders, on the fixture executables of tests/fixtures.
include(${PROJECT_SOURCE_DIR}/tests/fixtures/fixtures.cmake)

set(RV_ENRICH_TEST_SUPPORT ${CMAKE_CURRENT_LIST_DIR}/fixture_files.cpp)

runvane_add_test(NAME enrich_tests EDITION full SOURCES
  ${RV_ENRICH_TEST_SUPPORT}
  ${CMAKE_CURRENT_LIST_DIR}/split_path_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resolve_command_line_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_facts_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_folder_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pe_version_test.cpp
)
runvane_add_test(NAME enrich_check_tests EDITION check SOURCES
  ${RV_ENRICH_TEST_SUPPORT}
  ${CMAKE_CURRENT_LIST_DIR}/check_edition_test.cpp
)
foreach(test enrich_tests enrich_check_tests)
  target_compile_definitions(${test} PRIVATE RUNVANE_FIXTURE_DIR="${RV_FIXTURE_DIR}")
  add_dependencies(${test} runvane_fixtures)
endforeach()

# Under Wine: the portable reader against the system's own version library,
# on the fixtures and on the PE files of the system folder.
if(RUNVANE_WINDOWS)
  runvane_add_test(NAME version_differential EDITION none SOURCES
    ${RV_ENRICH_TEST_SUPPORT}
    ${CMAKE_CURRENT_LIST_DIR}/version_differential_test.cpp
    LIBS version
  )
  target_compile_definitions(version_differential PRIVATE RUNVANE_FIXTURE_DIR="${RV_FIXTURE_DIR}")
  add_dependencies(version_differential runvane_fixtures)
endif()
