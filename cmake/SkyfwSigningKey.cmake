# The identity of the embedded firmware-signing public key: the SHA-256 of its
# DER form, and whether it is the published development key. skyfw --version
# shows both; a build that embeds the development key says so loudly.
find_program(SKYFW_OPENSSL openssl REQUIRED)
set(SKYFW_DEVELOPMENT_PUBLIC_KEY "${CMAKE_SOURCE_DIR}/keys/dev_signing_public.pem")

function(skyfw_public_key_sha256 key_file out)
  set(der "${CMAKE_BINARY_DIR}/signing-key-identity.der")
  execute_process(COMMAND "${SKYFW_OPENSSL}" pkey -pubin -in "${key_file}" -outform DER -out "${der}"
                  RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "signing key ${key_file}: openssl failed: ${error}")
  endif()
  file(SHA256 "${der}" digest)
  file(REMOVE "${der}")
  set(${out} "${digest}" PARENT_SCOPE)
endfunction()

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${SKYFW_SIGNING_PUBLIC_KEY}")
skyfw_public_key_sha256("${SKYFW_SIGNING_PUBLIC_KEY}" SKYFW_SIGNING_KEY_SHA256)
skyfw_public_key_sha256("${SKYFW_DEVELOPMENT_PUBLIC_KEY}" development_key_sha256)
if(SKYFW_SIGNING_KEY_SHA256 STREQUAL development_key_sha256)
  set(SKYFW_SIGNING_KEY_IS_DEVELOPMENT ON)
  message(WARNING "The plug-in embeds the DEVELOPMENT firmware-signing key (keys/, published with "
                  "the sources): it accepts firmware that anyone can sign. For a product build give "
                  "-DSKYFW_SIGNING_PUBLIC_KEY=FILE.")
else()
  set(SKYFW_SIGNING_KEY_IS_DEVELOPMENT OFF)
endif()
