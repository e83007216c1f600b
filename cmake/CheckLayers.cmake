# Fails when a file of the core includes a folder that stands above its own.
# The core's folders stand in one order, each including only itself and what
# lies below it; the front ends (cli, ui) may include every core folder but
# not each other, and app, the programs' entry points that join a front end
# to the core, may include both. Run as:
# cmake -DROOT=<source dir> -P CheckLayers.cmake
set(order platform client directory settings values report exports update)
set(frontends cli ui app)
file(GLOB_RECURSE files RELATIVE ${ROOT}/src ${ROOT}/src/*.cpp ${ROOT}/src/*.h)
set(faults "")
foreach(file IN LISTS files)
    string(REGEX MATCH "^[^/]+" folder "${file}")
    list(FIND order ${folder} rank)
    list(FIND frontends ${folder} frontend)
    if(rank EQUAL -1 AND frontend EQUAL -1)
        string(APPEND faults "  src/${file}: folder '${folder}' has no place in the order\n")
        continue()
    endif()
    file(STRINGS ${ROOT}/src/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
        # Qt first: its headers are mostly included without a folder
        # (<QString>, or the older <qstring.h>), which the folder rules below
        # would pass over; quoted ones ("QtCore/qglobal.h") are Qt's too.
        if(line MATCHES "#[ \t]*include[ \t]*[\"<](Q[A-Za-z]*[/>\"]|q[a-z0-9_]*\\.h[>\"])")
            if(NOT rank EQUAL -1)
                string(APPEND faults "  src/${file}: the core includes Qt: ${line}\n")
            endif()
            continue()
        endif()
        if(line MATCHES "#[ \t]*include[ \t]*[\"<]([^/\">]+)/")
            set(target ${CMAKE_MATCH_1})
        else()
            continue()
        endif()
        list(FIND order ${target} target_rank)
        list(FIND frontends ${target} target_frontend)
        if(NOT rank EQUAL -1)
            # A core file: only core folders at or below its own.
            if(NOT target_frontend EQUAL -1)
                string(APPEND faults "  src/${file}: includes a front end: ${line}\n")
            elseif(NOT target_rank EQUAL -1 AND target_rank GREATER rank)
                string(APPEND faults "  src/${file}: '${folder}' may not include '${target}': ${line}\n")
            endif()
        elseif(NOT target_frontend EQUAL -1 AND NOT target STREQUAL folder AND NOT folder STREQUAL "app")
            string(APPEND faults "  src/${file}: one front end includes another: ${line}\n")
        endif()
    endforeach()
endforeach()
if(faults)
    message(FATAL_ERROR "Includes against the folder order (docs/architecture.md):\n${faults}")
endif()
