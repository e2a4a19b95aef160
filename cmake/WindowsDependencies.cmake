# What the Windows build takes from outside the system. nlohmann-json is header-only, so Debian's copy
# serves the cross build too; its include folder is reached through a folder of the build tree that
# holds a link to it alone, since /usr/include itself would put the host's C library before MinGW's.
set(TURNPOST_JSON_HEADERS /usr/include/nlohmann CACHE PATH "The nlohmann-json headers for the cross build")
if(NOT EXISTS ${TURNPOST_JSON_HEADERS}/json.hpp)
    message(FATAL_ERROR "nlohmann-json not found in ${TURNPOST_JSON_HEADERS} (Debian: nlohmann-json3-dev)")
endif()
set(turnpost_json_root ${CMAKE_BINARY_DIR}/external/json)
file(MAKE_DIRECTORY ${turnpost_json_root})
file(CREATE_LINK ${TURNPOST_JSON_HEADERS} ${turnpost_json_root}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${turnpost_json_root})
