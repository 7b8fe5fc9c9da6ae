# The publisher's update key and the rules a release build must meet. Included by the project,
# and run on its own by the tests: cmake -DTOLM_RELEASE=ON -DTOLM_PUBLISHER=... -P update_key.cmake
#
# Sets TOLM_UPDATE_PUBKEY_HEX: the raw X||Y of the P-256 public key TOLM_UPDATE_PUBKEY, 128 hex
# digits, read with python3 so that building needs no cryptography tool.
get_filename_component(tolm_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(TOLM_DEMO_UPDATE_PUBKEY ${tolm_root}/tests/keys/demo-update-pub.pem)
if(NOT TOLM_UPDATE_PUBKEY)
  set(TOLM_UPDATE_PUBKEY ${TOLM_DEMO_UPDATE_PUBKEY})
endif()
find_program(TOLM_PYTHON3 NAMES python3 python REQUIRED)

function(tolm_update_key out pem)
  execute_process(COMMAND ${TOLM_PYTHON3} ${tolm_root}/cmake/p256_pubkey.py ${pem}
                  OUTPUT_VARIABLE hex ERROR_VARIABLE err RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0 OR NOT hex MATCHES "^[0-9a-f]+$")
    message(FATAL_ERROR "TOLM_UPDATE_PUBKEY: ${err}")
  endif()
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pem})
  endif()
  set(${out} ${hex} PARENT_SCOPE)
endfunction()

tolm_update_key(TOLM_UPDATE_PUBKEY_HEX ${TOLM_UPDATE_PUBKEY})

if(TOLM_RELEASE)
  if(NOT TOLM_PUBLISHER MATCHES "^https://")
    message(FATAL_ERROR "A release build needs -DTOLM_PUBLISHER=https://... (got '${TOLM_PUBLISHER}')")
  endif()
endif()
# The address becomes a C string (build_config.h) that the widget appends its paths to: only
# the characters of a plain address reach it, never a quote, a backslash, a blank or a line end.
if(NOT TOLM_PUBLISHER MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?(/[A-Za-z0-9._~%!$&()*+,;=:@/-]*)?$")
  message(FATAL_ERROR "TOLM_PUBLISHER must be a plain http(s) address such as https://tolm.example.org, without "
                      "query, quotes, backslashes, blanks or control characters (got '${TOLM_PUBLISHER}')")
endif()
if(TOLM_RELEASE)
  tolm_update_key(demo_key_hex ${TOLM_DEMO_UPDATE_PUBKEY})
  if(TOLM_UPDATE_PUBKEY_HEX STREQUAL demo_key_hex)
    message(FATAL_ERROR "A release build must not carry the demo update key: give -DTOLM_UPDATE_PUBKEY=<the "
                        "publisher's public key>.pem (see README, 'Signing an update')")
  endif()
endif()

# Every address compiled into a release is reached over https only. Called once every setting
# of the project is known.
function(tolm_check_release_addresses)
  if(NOT TOLM_RELEASE)
    return()
  endif()
  get_cmake_property(settings VARIABLES)
  get_cmake_property(cached CACHE_VARIABLES)
  list(APPEND settings ${cached})
  list(FILTER settings INCLUDE REGEX "^TOLM_")
  # The time-stamp server is asked by the signing tool on the build machine, not by the
  # programs, and most of them answer over http only (their answers are signed).
  list(REMOVE_ITEM settings TOLM_SIGN_TIMESTAMP)
  list(REMOVE_DUPLICATES settings)
  foreach(setting IN LISTS settings)
    if("${${setting}}" MATCHES "^[Hh][Tt][Tt][Pp]://")
      message(FATAL_ERROR "A release build reaches its servers over https only: ${setting} is '${${setting}}'")
    endif()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  tolm_check_release_addresses()
endif()
