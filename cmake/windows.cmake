# Windows build: the two programs and the Windows test programs.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)

if(MINGW)
  # No runtime DLL beside the system's own: everything the programs need is linked in.
  add_link_options(-static -static-libgcc -static-libstdc++ $<$<NOT:$<CONFIG:Debug,RelWithDebInfo>>:-s>)
  add_compile_options(-finput-charset=UTF-8 -fexec-charset=UTF-8)
  # Two builds of one commit give the same bytes wherever and whenever they are made: no link
  # time in the PE header, neither the source nor the build folder in assert texts and debug
  # information, and no __DATE__.
  add_link_options(-Wl,--no-insert-timestamp)
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build
                      -Werror=date-time)
endif()

if(CMAKE_CROSSCOMPILING)
  # Windows programs run under Wine as if native, in a private prefix inside this build folder.
  set(TOLM_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  set(TOLM_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built with the cross compiler")
else()
  set(TOLM_GTEST_SOURCE "" CACHE PATH "GoogleTest sources for the Windows tests (empty: find_package)")
endif()

if(TRUE)  # the test programs are compiled in every Windows build
  if(TOLM_GTEST_SOURCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${TOLM_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
include(GoogleTest)

# The build folder mirrors an installed folder: tolm.exe, jw.exe and ui/back.png side by side.
set(TOLM_INSTALL_DIR ${CMAKE_BINARY_DIR}/app)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Version resources read 1.0.0.34 for version 1.0.34.
set(TOLM_RC_VERSION "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,${PROJECT_VERSION_PATCH}")
set(TOLM_RC_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.${PROJECT_VERSION_PATCH}")

# One of the two programs: a windowed executable with its resources and version, placed in
# the installed folder. tolm_program(name "description" resources.rc logic-library [CLASSIC_CONTROLS])
function(tolm_program name description rc logic)
  tolm_version_resource(version_rc ${name} "${description}" ${ARGN})
  add_executable(${name} WIN32 main.cpp ${rc} ${version_rc})
  # The resources embed the artwork: a changed picture rebuilds them.
  file(GLOB art CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/art/*)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${art}")
  target_link_libraries(${name} PRIVATE ${logic})
  # Sections on page boundaries in the file too, so that a loader can map the image straight from
  # it; Wine otherwise copies the whole program into private memory.
  if(MINGW)
    target_link_options(${name} PRIVATE -municode -Wl,--file-alignment,4096)
  elseif(MSVC)
    target_link_options(${name} PRIVATE /FILEALIGN:4096)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TOLM_INSTALL_DIR})
  if(TOLM_SIGN_COMMAND)
    add_custom_command(TARGET ${name} POST_BUILD COMMAND ${TOLM_SIGN_COMMAND} $<TARGET_FILE:${name}> VERBATIM)
  endif()
endfunction()

# Makes the version resource of one program: tolm_version_resource(VAR name "description"
# [CLASSIC_CONTROLS]). CLASSIC_CONTROLS leaves out the common controls 6 dependency, for a
# program that shows no standard control at start and need not load that library for them.
function(tolm_version_resource out name description)
  set(TOLM_RC_NAME ${name})
  set(TOLM_RC_DESCRIPTION "${description}")
  set(TOLM_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/app.manifest)
  if(CLASSIC_CONTROLS IN_LIST ARGN)
    set(TOLM_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/app-classic.manifest)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc @ONLY)
  set(${out} ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc PARENT_SCOPE)
endfunction()
if(MINGW)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
endif()

# Authenticode signing of what ships, when the publisher names a certificate and its key:
# tolm.exe and jw.exe as they are linked, the setup program and its uninstaller as NSIS writes
# them (see installer/). Without them the programs are built unsigned.
set(TOLM_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM) for Authenticode; empty: unsigned")
set(TOLM_SIGN_KEY "" CACHE FILEPATH "Private key (PEM) of TOLM_SIGN_CERT")
set(TOLM_SIGN_TIMESTAMP "" CACHE STRING "RFC 3161 time-stamp server for the signatures (optional)")
# Part of the signing command, so that a new time signs again: make release passes its commit's.
set(TOLM_SIGN_TIME "" CACHE STRING
    "Signing time without a time-stamp server, in seconds since 1970; empty: SOURCE_DATE_EPOCH or the last commit's")
# The signing command as a list, and the same as the environment that NSIS's signing step reads
# (see installer/): makensis runs that step through a shell, which must see no path or address.
set(TOLM_SIGN_COMMAND "")
set(TOLM_SIGN_ENVIRONMENT "")
if(TOLM_SIGN_CERT OR TOLM_SIGN_KEY)
  if(NOT TOLM_SIGN_CERT OR NOT TOLM_SIGN_KEY)
    message(FATAL_ERROR "Signing needs both a certificate and a key (SIGN_CERT='${TOLM_SIGN_CERT}', SIGN_KEY='${TOLM_SIGN_KEY}')")
  endif()
  get_filename_component(cert "${TOLM_SIGN_CERT}" ABSOLUTE)
  get_filename_component(key "${TOLM_SIGN_KEY}" ABSOLUTE)
  if(NOT EXISTS "${cert}" OR NOT EXISTS "${key}")
    message(FATAL_ERROR "Signing needs both a certificate and a key that exist (SIGN_CERT='${cert}', SIGN_KEY='${key}')")
  endif()
  # Each is one argument of a command list: no list separator, and no line end or other control
  # character that a command line could not carry.
  string(ASCII 1 first)
  string(ASCII 31 last)
  string(ASCII 127 del)
  foreach(value IN ITEMS "${cert}" "${key}" "${TOLM_SIGN_TIMESTAMP}" "${TOLM_SIGN_TIME}")
    if(value MATCHES "[;${first}-${last}${del}]")
      message(FATAL_ERROR "A signing setting holds a ';' or a control character: '${value}'")
    endif()
  endforeach()
  find_program(TOLM_OSSLSIGNCODE osslsigncode REQUIRED)
  set(ts "${TOLM_SIGN_TIMESTAMP}")
  if(ts)
    if(NOT ts MATCHES "^[Hh][Tt][Tt][Pp][Ss]?://[^ \\\"'`$]+$")
      message(FATAL_ERROR "TOLM_SIGN_TIMESTAMP is the http(s) address of a time-stamp server (got '${ts}')")
    endif()
  elseif(TOLM_SIGN_TIME)
    if(NOT TOLM_SIGN_TIME MATCHES "^[0-9]+$")
      message(FATAL_ERROR "TOLM_SIGN_TIME is seconds since 1970 (got '${TOLM_SIGN_TIME}')")
    endif()
    set(ts @${TOLM_SIGN_TIME})
  else()
    set(ts -)
  endif()
  set(TOLM_SIGN_COMMAND "${PROJECT_SOURCE_DIR}/tools/sign-program" "${cert}" "${key}" "${ts}")
  set(TOLM_SIGN_ENVIRONMENT "TOLM_SIGN_PROGRAM=${PROJECT_SOURCE_DIR}/tools/sign-program" "TOLM_SIGN_CERT=${cert}"
                            "TOLM_SIGN_KEY=${key}" "TOLM_SIGN_TIMESTAMP=${ts}")
endif()
