# Cross build for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686-tools.cmake)
set(CMAKE_C_COMPILER ${ZORBIN_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${ZORBIN_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${ZORBIN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORBIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Whatever we ship must load on a bare system: no MinGW runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(ZORBIN_WINE wine)
if(ZORBIN_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORBIN_WINE})
endif()
