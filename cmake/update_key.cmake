# tolm_update_key(VAR key.pem): VAR := the raw X||Y of the P-256 public key, 128 hex digits.
# Read at configure time with python3, so that building needs no cryptography tool.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
function(tolm_update_key out pem)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/p256_pubkey.py ${pem}
                  OUTPUT_VARIABLE hex ERROR_VARIABLE err RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0 OR NOT hex MATCHES "^[0-9a-f]+$")
    message(FATAL_ERROR "TOLM_UPDATE_PUBKEY: ${err}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pem})
  set(${out} ${hex} PARENT_SCOPE)
endfunction()
