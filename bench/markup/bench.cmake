# Markup engine: parse throughput against libxml2 and pugixml on the same
# document, and the cost of building a listing-like response.
find_package(LibXml2 QUIET)
find_package(pugixml QUIET)
if(LibXml2_FOUND AND pugixml_FOUND)
  add_executable(markup_bench ${CMAKE_CURRENT_LIST_DIR}/markup_bench.cpp)
  target_include_directories(markup_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(markup_bench PRIVATE rv_core_full LibXml2::LibXml2 pugixml::pugixml)
else()
  message(STATUS "markup_bench skipped: libxml2 or pugixml not found")
endif()
