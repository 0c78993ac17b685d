# The built modules as a host sees them: loaded by file name, exports found
# by name. Nothing of the module's logic is linked into the test program.
runvane_add_test(NAME host_tests EDITION none SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/loaded_module.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_system.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_load_test.cpp
)
add_dependencies(host_tests runvane runvane_check)
if(NOT RUNVANE_WINDOWS)
  # The reference host's messages and exit codes for an unusable image.
  add_test(NAME host_exit_test
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/host_exit_test.sh $<TARGET_FILE:runvane_host>
      $<TARGET_FILE:make_demo_image> ${CMAKE_BINARY_DIR}/bin/fixtures)
  set_tests_properties(host_exit_test PROPERTIES TIMEOUT 120)
endif()

# valgrind memcheck of the reference host over the demo image (Linux, not in
# sanitizer builds, whose runtime valgrind cannot run).
if(NOT RUNVANE_WINDOWS AND NOT RUNVANE_SANITIZE AND NOT RUNVANE_TSAN)
  find_program(RV_VALGRIND valgrind)
  if(RV_VALGRIND)
    add_test(NAME host_valgrind
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/valgrind_test.sh ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(host_valgrind PROPERTIES TIMEOUT 1200)
  endif()
endif()
if(NOT RUNVANE_WINDOWS)
  # The host killed at random moments during long changes, and two hosts
  # changing one image at once.
  foreach(mode kill concurrent)
    add_test(NAME host_durability_${mode}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/durability_test.sh ${mode} $<TARGET_FILE:runvane_host>
        $<TARGET_FILE:make_demo_image> ${CMAKE_BINARY_DIR}/bin/fixtures ${PROJECT_SOURCE_DIR})
    set_tests_properties(host_durability_${mode} PROPERTIES TIMEOUT 300)
  endforeach()
endif()
