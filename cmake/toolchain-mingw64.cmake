# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model, for std::thread).
# Executables are linked statically so they run under Wine or on Windows with no DLL beside them;
# CTest runs them through scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TILTWISE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TILTWISE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TILTWISE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TILTWISE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TILTWISE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

get_filename_component(_tiltwise_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_tiltwise_root}/scripts/wine-run.sh")
