# The release configuration under test: its feed and update tests, and the cases of https,
# against the scripted publisher serving TLS at the address compiled in, https://localhost:PORT.
# The certificates come from a test CA made anew for each run and trusted in this build's Wine
# prefix only (its machine root store), never on the host. A release for a real publisher has no
# such publisher to be tested against, and registers nothing.
if(NOT (TOLM_RUN_WINDOWS_TESTS AND CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
   OR NOT TOLM_PUBLISHER STREQUAL "https://localhost:${TOLM_DEMO_PORT}")
  return()
endif()

add_executable(trust_ca trust_ca.cpp)
target_link_libraries(trust_ca PRIVATE crypt32)
if(MINGW)
  target_link_options(trust_ca PRIVATE -municode)
endif()

# A signature by the update key over another file, for the update test's "othersig" case.
set(other ${CMAKE_CURRENT_BINARY_DIR}/other.bin)
add_custom_command(OUTPUT ${other}.sig
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${other}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/sign-update ${TOLM_UPDATE_SIGNING_KEY} ${other}
    DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${TOLM_UPDATE_SIGNING_KEY} ${PROJECT_SOURCE_DIR}/tools/sign-update
    VERBATIM)
add_custom_target(https_test_data DEPENDS ${other}.sig)
add_dependencies(e2e_test tolmupdate_demo trust_ca https_test_data)

set(tls ${CMAKE_BINARY_DIR}/tls)
string(REPLACE "/" "\\" ca_win "Z:${tls}/ca.der")
add_test(NAME e2e.https.ca
    COMMAND sh -c "\"$0\" \"$1\" && \"$2\" \"$3\" \"$4\"" ${PROJECT_SOURCE_DIR}/tests/web/test-ca.sh ${tls}
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:trust_ca> ${ca_win})
set_tests_properties(e2e.https.ca PROPERTIES TIMEOUT 300 FIXTURES_SETUP https_ca)

string(REPLACE "/" "\\" app_dir "Z:${TOLM_INSTALL_DIR}")
string(REPLACE "/" "\\" work_win "Z:${CMAKE_BINARY_DIR}/e2e")
string(REPLACE "/" "\\" update_win "Z:${TOLM_UPDATE_STUB}")
set(env "TOLM_APP_DIR=${app_dir};TOLM_E2E_DIR=${work_win};TOLM_UPDATE_SOURCE=${update_win}"
        "TOLM_UPDATE_VERSION=${TOLM_UPDATE_STUB_VERSION};TOLM_MESSENGER=${TOLM_MESSENGER}")
foreach(case "feed|Feed.*|120" "update|Update.*:Https.*|600")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(GET parts 1 filter)
  list(GET parts 2 cost)
  add_test(NAME e2e.https.${name}
      COMMAND ${PROJECT_SOURCE_DIR}/tests/web/with-publisher.sh ${TOLM_DEMO_PORT} --tls ${tls}
              --update ${TOLM_UPDATE_STUB} --other-sig ${other}.sig --
              ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:e2e_test> --gtest_filter=${filter})
  set_tests_properties(e2e.https.${name} PROPERTIES COST ${cost} TIMEOUT 600 RESOURCE_LOCK "desktop;tray;publisher"
      FIXTURES_REQUIRED https_ca ENVIRONMENT "${env}")
endforeach()
