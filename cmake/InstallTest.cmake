# Installs the build into a fresh prefix and starts the installed console
# program on the installed sample, the way a packaged program runs.
# Run as: cmake -DBUILD=<build dir> -DPREFIX=<empty folder> -P InstallTest.cmake
# The install runs under umask 077, as a careful administrator's may: what it
# makes must still be open to every user.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND sh -c "umask 077 && exec \"$0\" --install \"$1\" --prefix \"$2\""
        ${CMAKE_COMMAND} ${BUILD} ${PREFIX}
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
execute_process(COMMAND find ${PREFIX} ( -type d ! -perm 755 ) -o ( -type f ! -perm -444 )
    OUTPUT_VARIABLE closed RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT closed STREQUAL "")
    message(FATAL_ERROR "installed under umask 077, closed to other users (${status}):\n${closed}")
endif()
string(REPLACE "|" ";" EXTRA_FILES "${EXTRA_FILES}")
foreach(file bin/vellrun-cli share/vellrun/vellrun.txt share/vellrun/sample-directory.json
        share/vellrun/sample-users.rpt share/doc/vellrun/connections.md
        share/doc/vellrun/command-line.md share/doc/vellrun/README.md ${EXTRA_FILES})
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
# The developers' documents stay in the source tree.
foreach(file share/doc/vellrun/architecture.md share/doc/vellrun/testing.md
        share/vellrun/README.md)
    if(EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "installed, though only for developers: ${file}")
    endif()
endforeach()

# Each program's help says where the connections file goes.
foreach(program vellrun-cli vellrun)
    if(EXISTS ${PREFIX}/bin/${program})
        execute_process(COMMAND ${PREFIX}/bin/${program} --help OUTPUT_VARIABLE help)
        if(NOT help MATCHES "~/\\.config/vellrun/connections\\.json")
            message(FATAL_ERROR "${program} --help does not name the connections file:\n${help}")
        endif()
    endif()
endforeach()

# No configuration of the user's: the installed sample is the directory.
set(ENV{XDG_CONFIG_HOME} ${PREFIX}/config)
unset(ENV{VELLRUN_CONNECTIONS})
execute_process(COMMAND ${PREFIX}/bin/vellrun-cli trees
    WORKING_DIRECTORY ${PREFIX} RESULT_VARIABLE status OUTPUT_VARIABLE trees ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR trees STREQUAL "")
    message(FATAL_ERROR "the installed vellrun-cli found no trees (${status}): ${errors}")
endif()
execute_process(COMMAND ${PREFIX}/bin/vellrun-cli report --container Corp --class User
        --attr "Full Name" --recurse
    WORKING_DIRECTORY ${PREFIX} RESULT_VARIABLE status OUTPUT_VARIABLE table ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT table MATCHES "Full Name")
    message(FATAL_ERROR "the installed vellrun-cli could not report (${status}): ${errors}${table}")
endif()

# Without its installed sample the program finds no directory and says where
# it looked and where the connections file goes; it never falls back on the
# folders of the machine that built it.
file(RENAME ${PREFIX}/share/vellrun/sample-directory.json ${PREFIX}/sample-directory.json)
execute_process(COMMAND ${PREFIX}/bin/vellrun-cli trees
    WORKING_DIRECTORY ${PREFIX} RESULT_VARIABLE status OUTPUT_VARIABLE listed ERROR_VARIABLE errors)
file(RENAME ${PREFIX}/sample-directory.json ${PREFIX}/share/vellrun/sample-directory.json)
string(FIND "${errors}" "${PREFIX}/share/vellrun" named_share)
string(FIND "${errors}" "${PREFIX}/config/vellrun/connections.json" named_connections)
if(status EQUAL 0 OR named_share EQUAL -1 OR named_connections EQUAL -1)
    message(FATAL_ERROR
        "the installed vellrun-cli without its sample (${status}): ${errors}${listed}")
endif()
message(STATUS "installed into ${PREFIX}; trees: ${trees}")
