# The same sources for 64-bit Windows, for test machines whose Wine runs only 64-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEPHO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
