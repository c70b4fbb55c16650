# Writes the bytes of a catalogue key file as a C initializer list:
#   cmake -DKEY=public.pem -DOUT=key.inc -P EmbedKey.cmake
# It refuses anything but a PEM public key, and, where openssl is at hand,
# anything but RSA of 2048 to 4096 bits: a build with a key the program
# cannot use would refuse every catalogue.
if(NOT EXISTS "${KEY}")
  message(FATAL_ERROR "catalogue key ${KEY} not found")
endif()
file(READ "${KEY}" pem)
if(NOT pem MATCHES "^[ \t\r\n]*-----BEGIN PUBLIC KEY-----[\r\n]")
  message(FATAL_ERROR "${KEY} is no PEM public key: make it with 'openssl pkey -in PRIVATE.pem -pubout -out ${KEY}'")
endif()
find_program(openssl openssl)
if(openssl)
  execute_process(COMMAND ${openssl} pkey -pubin -in ${KEY} -noout -text
                  OUTPUT_VARIABLE text ERROR_VARIABLE error RESULT_VARIABLE failed)
  if(failed OR NOT text MATCHES "Public-Key: \\(([0-9]+) bit\\)" OR NOT text MATCHES "Modulus:")
    message(FATAL_ERROR "${KEY} is no RSA public key ${error}")
  endif()
  if(CMAKE_MATCH_1 LESS 2048 OR CMAKE_MATCH_1 GREATER 4096)
    message(FATAL_ERROR "${KEY}: an RSA key of ${CMAKE_MATCH_1} bits; catalogue keys have 2048 to 4096")
  endif()
endif()
file(READ "${KEY}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}.tmp" "${bytes}\n")
file(RENAME "${OUT}.tmp" "${OUT}")
