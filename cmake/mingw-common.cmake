# Cross-compiling for Windows with Debian's mingw-w64, for the triplet set by the
# including toolchain file. The posix thread model: GoogleTest needs std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZEPHO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEPHO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEPHO_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEPHO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests of the Windows build run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
