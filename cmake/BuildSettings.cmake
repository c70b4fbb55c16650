# What each executable that links iz_app is built with: the two download
# servers and the catalogue key, compiled in by an object of its own
# (app/build_settings.cpp), never into iz_app itself. Only the product
# carries the vendor's hosts and key; every test, benchmark and demo build
# names loopback servers and keys of its own.
#
#   iz_build_settings(TARGET URL1 URL2 [KEY pem-file...])
#
# KEY names one to four PEM public keys ("-----BEGIN PUBLIC KEY-----", RSA of
# 2048 to 4096 bits); a catalogue signed by any of them is trusted. Without
# KEY the executable checks no signatures. A key may be a file that the
# build itself makes.
function(iz_build_settings target url1 url2)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "KEY")
  foreach(url IN ITEMS "${url1}" "${url2}")
    if(NOT url MATCHES "^https?://[^/]+/(.*/)?download/$")
      message(FATAL_ERROR "${target}: base URL '${url}' must be http(s) and end in /download/")
    endif()
  endforeach()
  set(settings ${target}_settings)
  add_library(${settings} OBJECT ${PROJECT_SOURCE_DIR}/app/build_settings.cpp)
  target_include_directories(${settings} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${settings} PRIVATE IZ_BASE_URL1="${url1}" IZ_BASE_URL2="${url2}")
  list(LENGTH arg_KEY key_count)
  if(key_count GREATER 4)
    message(FATAL_ERROR "${target}: ${key_count} catalogue keys; a build carries one to four")
  endif()
  if(arg_KEY)
    set(keys "")
    set(defines "")
    set(index 0)
    foreach(key_file IN LISTS arg_KEY)
      math(EXPR index "${index} + 1")
      get_filename_component(key "${key_file}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND keys ${key})
      list(APPEND defines -DKEY${index}=${key})
    endforeach()
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_catalogue_keys.inc)
    add_custom_command(OUTPUT ${source}
      COMMAND ${CMAKE_COMMAND} -DOUT=${source} ${defines} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedKey.cmake
      DEPENDS ${keys} ${PROJECT_SOURCE_DIR}/cmake/EmbedKey.cmake
      COMMENT "Embedding ${key_count} catalogue key(s) in ${target}")
    target_sources(${settings} PRIVATE ${source})
    target_compile_definitions(${settings} PRIVATE IZ_CATALOGUE_KEYS="${source}")
  endif()
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${settings}>)
endfunction()

# Base URLs of test builds: loopback ports where nothing listens, so that a
# test that starts a run by accident fails at once instead of going out.
set(IZ_TEST_BASE_URL1 "http://127.0.0.1:1/download/")
set(IZ_TEST_BASE_URL2 "http://127.0.0.1:2/download/")
