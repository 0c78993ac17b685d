# The project's version in every shipped binary. The one place it is set is
# project(runvane VERSION ...) in the top-level CMakeLists.txt; from there:
#   - <build>/generated/runvane_version.h for the programs (runvane --version,
#     the version tests),
#   - a version resource in each Windows binary (runvane_version_resource),
#   - VERSION and SOVERSION of the Linux modules (editions/CMakeLists.txt).
set(RUNVANE_VENDOR "The Runvane developers")
set(RUNVANE_COPYRIGHT "Copyright (c) 2026 The Runvane developers. MIT licence.")
set(RV_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/runvane_version.h.in ${RV_GENERATED_DIR}/runvane_version.h @ONLY)

# runvane_version_resource(target "description" file-name APP|DLL)
# Adds a version resource made from editions/version.rc.in to a Windows
# binary; does nothing elsewhere.
function(runvane_version_resource target description file_name kind)
  if(NOT RUNVANE_WINDOWS)
    return()
  endif()
  set(RV_RC_DESCRIPTION "${description}")
  set(RV_RC_FILE_NAME "${file_name}")
  get_filename_component(RV_RC_INTERNAL_NAME "${file_name}" NAME_WE)
  if(kind STREQUAL "DLL")
    set(RV_RC_FILE_TYPE VFT_DLL)
  else()
    set(RV_RC_FILE_TYPE VFT_APP)
  endif()
  set(rc ${RV_GENERATED_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/editions/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
