# Writes a build's catalogue keys as C source: one array per key file and
# IZ_CATALOGUE_KEY_LIST, the initialisers of the key table, in order:
#   cmake -DOUT=keys.inc -DKEY1=public.pem [-DKEY2=other.pem ...] -P EmbedKey.cmake
# It refuses anything but a PEM public key, and, where openssl is at hand,
# anything but RSA of 2048 to 4096 bits: a build with a key the program
# cannot use would refuse every catalogue.
find_program(openssl openssl)

function(iz_check_key key)
  if(NOT EXISTS "${key}")
    message(FATAL_ERROR "catalogue key ${key} not found")
  endif()
  file(READ "${key}" pem)
  if(NOT pem MATCHES "^[ \t\r\n]*-----BEGIN PUBLIC KEY-----[\r\n]")
    message(FATAL_ERROR "${key} is no PEM public key: make it with 'openssl pkey -in PRIVATE.pem -pubout -out ${key}'")
  endif()
  if(openssl)
    execute_process(COMMAND ${openssl} pkey -pubin -in ${key} -noout -text
                    OUTPUT_VARIABLE text ERROR_VARIABLE error RESULT_VARIABLE failed)
    if(failed OR NOT text MATCHES "Public-Key: \\(([0-9]+) bit\\)" OR NOT text MATCHES "Modulus:")
      message(FATAL_ERROR "${key} is no RSA public key ${error}")
    endif()
    if(CMAKE_MATCH_1 LESS 2048 OR CMAKE_MATCH_1 GREATER 4096)
      message(FATAL_ERROR "${key}: an RSA key of ${CMAKE_MATCH_1} bits; catalogue keys have 2048 to 4096")
    endif()
  endif()
endfunction()

set(source "")
set(list "")
foreach(index RANGE 1 4)
  if(NOT DEFINED KEY${index})
    break()
  endif()
  iz_check_key("${KEY${index}}")
  file(READ "${KEY${index}}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND source "static const char Key${index}[] = {\n${bytes}\n};\n")
  string(APPEND list " {Key${index}, sizeof(Key${index})},")
endforeach()
file(WRITE "${OUT}.tmp" "${source}#define IZ_CATALOGUE_KEY_LIST${list}\n")
file(RENAME "${OUT}.tmp" "${OUT}")
