# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (g++-mingw-w64-x86-64-posix),
# its programs run under Wine. The POSIX-threads flavour of the compilers, because only its
# libstdc++ has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(THERMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${THERMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${THERMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${THERMORA_MINGW_TRIPLE}-windres)

# Headers and libraries of the target only; the host's (Qt, GoogleTest, GeographicLib) would not
# link. Programs are still the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${THERMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: libgcc, libstdc++ and winpthread linked in, so that neither Wine nor
# Windows needs MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# ctest and GoogleTest's test discovery run the programs through Wine.
find_program(THERMORA_WINE wine)
if(THERMORA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${THERMORA_WINE})
endif()
