# Cross build for Windows x86-64 with Debian's mingw-w64 (posix threading
# model, so that std::thread and friends exist; winpthread is linked
# statically with the rest of the runtime).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RZ_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RZ_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RZ_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RZ_MINGW_PREFIX}-windres)
set(CMAKE_AR ${RZ_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${RZ_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "ranlib")

set(CMAKE_FIND_ROOT_PATH /usr/${RZ_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests built for the host cannot run here without wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
