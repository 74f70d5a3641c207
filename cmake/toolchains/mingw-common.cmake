# Shared part of the mingw-w64 toolchains; TAGQUILL_MINGW_TRIPLET names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TAGQUILL_MINGW_TRIPLET})

# The posix thread model: std::thread and std::mutex need it with this compiler.
set(CMAKE_C_COMPILER ${TAGQUILL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAGQUILL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAGQUILL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAGQUILL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header-only packages of the build machine (nlohmann-json) serve the target too.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# No mingw runtime DLL beside the program: everything is linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
