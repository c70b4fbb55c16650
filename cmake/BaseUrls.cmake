# The two download servers are compiled into each executable that links
# iz_app by an object of its own (app/base_urls.cpp), never into iz_app
# itself: only the product carries the vendor's hosts, and every test,
# benchmark and demo build names loopback servers of its own.
function(iz_base_urls target url1 url2)
  foreach(url IN ITEMS "${url1}" "${url2}")
    if(NOT url MATCHES "^https?://[^/]+/(.*/)?download/$")
      message(FATAL_ERROR "${target}: base URL '${url}' must be http(s) and end in /download/")
    endif()
  endforeach()
  add_library(${target}_base_urls OBJECT ${PROJECT_SOURCE_DIR}/app/base_urls.cpp)
  target_include_directories(${target}_base_urls PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${target}_base_urls PRIVATE
    IZ_BASE_URL1="${url1}" IZ_BASE_URL2="${url2}")
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_base_urls>)
endfunction()

# Base URLs of test builds: loopback ports where nothing listens, so that a
# test that starts a run by accident fails at once instead of going out.
set(IZ_TEST_BASE_URL1 "http://127.0.0.1:1/download/")
set(IZ_TEST_BASE_URL2 "http://127.0.0.1:2/download/")
