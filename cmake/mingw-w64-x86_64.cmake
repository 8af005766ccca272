# Cross build for 64-bit Windows with Debian's MinGW-w64 GCC. The "-posix" compilers carry the
# POSIX thread model, without which std::thread and std::mutex are missing.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRENNICOT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRENNICOT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRENNICOT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BRENNICOT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRENNICOT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: no MinGW runtime DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
