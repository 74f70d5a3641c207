# Cross build for 32-bit Windows, the build the reader maker's own DLLs fit.
set(TAGQUILL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
