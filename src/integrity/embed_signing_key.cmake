# Turns a PEM RSA public key into a C++ header with its modulus (256 bytes,
# big-endian) and exponent (3 bytes, big-endian).
# Inputs: OPENSSL, KEY_FILE, OUTPUT.
execute_process(
  COMMAND "${OPENSSL}" rsa -pubin -in "${KEY_FILE}" -noout -text
  OUTPUT_VARIABLE key_text ERROR_VARIABLE key_error RESULT_VARIABLE key_result)
if(NOT key_result EQUAL 0)
  message(FATAL_ERROR "signing key ${KEY_FILE}: openssl failed: ${key_error}")
endif()

execute_process(
  COMMAND "${OPENSSL}" rsa -pubin -in "${KEY_FILE}" -noout -modulus
  OUTPUT_VARIABLE modulus_text RESULT_VARIABLE modulus_result)
string(REGEX MATCH "Modulus=([0-9A-Fa-f]+)" _ "${modulus_text}")
string(TOLOWER "${CMAKE_MATCH_1}" modulus_hex)
string(LENGTH "${modulus_hex}" modulus_digits)
if(NOT modulus_digits EQUAL 512)
  message(FATAL_ERROR "signing key ${KEY_FILE}: the modulus must be 2048 bits")
endif()

string(REGEX MATCH "Exponent: ([0-9]+) \\(0x([0-9a-f]+)\\)" _ "${key_text}")
set(exponent_hex "${CMAKE_MATCH_2}")
string(LENGTH "${exponent_hex}" exponent_digits)
if(exponent_digits EQUAL 0 OR exponent_digits GREATER 6)
  message(FATAL_ERROR "signing key ${KEY_FILE}: the exponent must fit in 3 bytes")
endif()
string(REPEAT "0" 6 zeros)
string(SUBSTRING "${zeros}${exponent_hex}" ${exponent_digits} 6 exponent_hex)

function(hex_to_bytes hex out)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()
hex_to_bytes("${modulus_hex}" modulus_bytes)
hex_to_bytes("${exponent_hex}" exponent_bytes)

file(WRITE "${OUTPUT}.tmp" "// Generated from ${KEY_FILE}; do not edit.
#pragma once

#include <cstdint>

namespace skyfw::signing_key {

inline constexpr uint8_t kModulus[256] = {
    ${modulus_bytes}
};
inline constexpr uint8_t kExponent[3] = {${exponent_bytes}};

}  // namespace skyfw::signing_key
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
