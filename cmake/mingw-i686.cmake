# ZEPHO.exe: 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZEPHO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# The text search uses SSE2, which every processor running a supported Windows
# has. Windows calls back with the stack aligned to 4 bytes only: functions that
# keep vectors on the stack realign it themselves.
set(CMAKE_C_FLAGS_INIT "-msse2 -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mstackrealign")
