# The example host in C (examples/check_and_repair.c), built against the
# public header alone: its only include folder is include/, and nothing of
# the module is linked in (it loads the module at run time).
add_executable(check_and_repair ${PROJECT_SOURCE_DIR}/examples/check_and_repair.c)
set_target_properties(check_and_repair PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON)
target_include_directories(check_and_repair PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_compile_options(check_and_repair PRIVATE -pedantic)
if(NOT RUNVANE_WINDOWS)
  target_link_libraries(check_and_repair PRIVATE ${CMAKE_DL_LIBS})
endif()
add_dependencies(check_and_repair runvane runvane_check)
if(RUNVANE_SANITIZE)
  # The sanitized module needs the C++ parts of the sanitizer runtime, which
  # clang links only into programs linked as C++.
  set_target_properties(check_and_repair PROPERTIES LINKER_LANGUAGE CXX)
endif()
