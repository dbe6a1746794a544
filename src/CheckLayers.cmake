cmake_minimum_required(VERSION 3.22)
# Fails when a source file reaches up a layer. Run by the quillnook_layers
# target before anything is compiled:  cmake -DSOURCE_DIR=<src> -P CheckLayers.cmake
#
#   app/          assembles the tools; only main.cpp includes it
#   browser/ files/ hotkey/ notes/ screenshot/ settings/   the tools
#   ui/           the shared look, below every tool
#   web/          the engine-neutral web view
#   platform/     the desktop backends and their interfaces
#   keys/         key positions, key names and modifier flags
#   base/         the user's notice lines
#
# A room may include the rooms listed after it, never one listed above it
# (the tools may use each other where they already do; none uses app/).
set(tools browser files hotkey notes screenshot settings)
set(forbidden_app app)
set(forbidden_ui app ${tools})
set(forbidden_web app ui ${tools})
set(forbidden_platform app ui web ${tools})
set(forbidden_keys app ui web platform ${tools})
set(forbidden_base app ui web platform keys ${tools})
foreach(tool IN LISTS tools)
    set(forbidden_${tool} app)
endforeach()

set(failures "")
foreach(room IN LISTS tools ITEMS ui web platform keys base)
    file(GLOB_RECURSE files "${SOURCE_DIR}/${room}/*.h" "${SOURCE_DIR}/${room}/*.cpp")
    foreach(file IN LISTS files)
        file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[a-z0-9_]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([a-z0-9_]+)/.*$" "\\1" target "${line}")
            if(target IN_LIST forbidden_${room})
                file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
                string(STRIP "${line}" line)
                string(APPEND failures "  ${shown}: ${line} (${room}/ may not include ${target}/)\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(failures)
    message(FATAL_ERROR "Includes that cross the layers upwards:\n${failures}")
endif()
