# Cross-builds the headless program for 64-bit Windows with MinGW-w64's posix thread model (the one
# whose libstdc++ has std::thread and std::mutex), linked statically so that turnpost.exe needs no DLL
# beside it: libgcc, libstdc++ and winpthread are all taken in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TURNPOST_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TURNPOST_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TURNPOST_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TURNPOST_MINGW_TRIPLE}-windres)

# Libraries and packages come from the target's own root only; programs run at build time are the
# host's.
set(CMAKE_FIND_ROOT_PATH /usr/${TURNPOST_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests of the cross build run under Wine when it is there (Debian's wine64 keeps its loader here).
find_program(TURNPOST_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TURNPOST_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TURNPOST_WINE})
endif()
