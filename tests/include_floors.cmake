# Each floor only looks down: platform/ includes no folder above it, the core folders neither
# app/ nor dialogs/, the dialogs not app/; analysis/ (the skin responses) stands on platform/
# alone, below storage/ and acquisition/, and storage/ does not reach into acquisition/. Lists
# every include that looks up, then fails.
#   cmake -D SOURCE_DIR=<source tree> -P include_floors.cmake
# Each entry: a folder, then the folders above it, separated by commas.
set(floors
    "platform,acquisition,analysis,display,storage,app,dialogs"
    "acquisition,app,dialogs" "analysis,acquisition,display,storage,app,dialogs"
    "display,app,dialogs" "storage,acquisition,app,dialogs"
    "dialogs,app")
set(upward)
foreach(floor IN LISTS floors)
    string(REPLACE "," ";" floor "${floor}")
    list(POP_FRONT floor folder)
    list(JOIN floor "|" above)
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(source ${sources})
        file(STRINGS ${source} includes REGEX "^#include \"(${above})/")
        foreach(line ${includes})
            file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
            list(APPEND upward "${name}: ${line}")
        endforeach()
    endforeach()
endforeach()
if(upward)
    list(JOIN upward "\n" upward)
    message(FATAL_ERROR "Includes that look up a floor:\n${upward}")
endif()
