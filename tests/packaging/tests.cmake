# What a host developer is given: the public header (against the module's own
# records), the version resources of the Windows binaries, and the example
# host built against the header alone.

# The header, compiled as C++ beside the module's headers and as C11.
runvane_add_test(NAME public_header_tests EDITION full SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/public_header_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/public_header_layout.c
)
set_target_properties(public_header_tests PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)
# And as strict C90, where its layout checks take their fallback form.
add_library(rv_public_header_c90 OBJECT ${CMAKE_CURRENT_LIST_DIR}/public_header_c90.c)
target_include_directories(rv_public_header_c90 PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(rv_public_header_c90 PROPERTIES C_STANDARD 90 C_EXTENSIONS OFF)
target_compile_options(rv_public_header_c90 PRIVATE -pedantic-errors)

# The version resources: under Wine through version.dll (the build's own
# binaries, or RUNVANE_PACKAGE_DIR); on Linux through the project's reader
# (RUNVANE_PACKAGE_DIR set by the packaging step of tools/test.sh).
runvane_add_test(NAME version_resource_tests EDITION none SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/version_resource_test.cpp
)
target_include_directories(version_resource_tests PRIVATE ${RV_GENERATED_DIR})
if(RUNVANE_WINDOWS)
  target_link_libraries(version_resource_tests PRIVATE version)
  add_dependencies(version_resource_tests runvane runvane_check runvane_host)
else()
  # The example host on a fresh demo image, with each edition.
  add_test(NAME example_host_test
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/example_test.sh $<TARGET_FILE:check_and_repair>
      $<TARGET_FILE:make_demo_image> ${CMAKE_BINARY_DIR}/bin/fixtures
      $<TARGET_SONAME_FILE:runvane> $<TARGET_SONAME_FILE:runvane_check>)
  set_tests_properties(example_host_test PROPERTIES TIMEOUT 300)
endif()
